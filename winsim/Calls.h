#pragma once
// Bookkeeping every simulated API call goes through: the journal line, the call count and any
// injected failure that is due.
#include <cstdint>
#include <optional>
#include <string>

#include "winsim/Control.h"

namespace winsim::detail {

// Builds one journal line, "Name(arg, arg, ...)", in the format Control.h documents.
class CallLine {
 public:
  explicit CallLine(const char* name);
  CallLine& Text(const WCHAR* text);
  CallLine& Text(const char* text);
  CallLine& Hex(DWORD value);
  CallLine& Dec(std::uint64_t value);
  CallLine& Pointer(const void* pointer);
  CallLine& Handle(const void* handle);
  CallLine& Timeout(DWORD milliseconds);
  std::string Done();

 private:
  CallLine& Arg(const std::string& text);

  std::string line_;
  bool first_ = true;
};

bool JournalActive();
void Record(std::string line);
void ResetJournal();

// Counts a call of `api`; returns the error to fail it with when an injected failure is due.
std::optional<DWORD> CountCall(Api api);
void ResetFailures();

// The common entry of every simulated API: journal (the line is built only while a journal is
// kept), count, injected failure.
template <typename Describe>
std::optional<DWORD> EnterCall(Api api, Describe describe) {
  if (JournalActive()) Record(describe());
  return CountCall(api);
}

}  // namespace winsim::detail
