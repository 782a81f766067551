#pragma once
// Memory for the shared record: `bytes` long, at an address below 4 GiB (the protocol's address
// is 32 bits wide), ending exactly where a no-access guard page begins.
#include <cstddef>

class RecordMemory {
 public:
  // Throws std::bad_alloc when no such mapping can be made.
  explicit RecordMemory(std::size_t bytes);
  ~RecordMemory();
  RecordMemory(const RecordMemory&) = delete;
  RecordMemory& operator=(const RecordMemory&) = delete;

  void* Record() const { return record_; }
  // The first byte of the guard page, just past the record.
  const void* GuardPage() const { return guard_; }

 private:
  void* base_ = nullptr;
  std::size_t length_ = 0;
  void* record_ = nullptr;
  const void* guard_ = nullptr;
};
