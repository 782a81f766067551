#pragma once
// One program launch the kernel holds until it is answered: the event's descriptor of the file
// being executed, and the fanotify group to answer through. It is answered exactly once: by
// Answer, or, if nothing answered it, with "deny" when it is destroyed. Answering also closes
// the descriptor.
#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include "UniqueFd.h"

// The path the kernel gives an open descriptor's file now; false if it cannot be read.
bool PathOfDescriptor(int fd, std::string* path);

class HeldExec {
 public:
  HeldExec(int group, int fd, pid_t pid) : group_(group), fd_(fd), pid_(pid) {}
  HeldExec(HeldExec&&) noexcept = default;
  HeldExec& operator=(HeldExec&&) = delete;
  ~HeldExec() { Answer(false); }

  pid_t Pid() const { return pid_; }
  // The executed file's path (PathOfDescriptor).
  bool Path(std::string* path) const { return fd_ && PathOfDescriptor(fd_.Get(), path); }
  // The executed file's device, inode and link count; false once answered.
  bool Status(struct stat* status) const { return fd_ && ::fstat(fd_.Get(), status) == 0; }
  // Tells the kernel whether the launch may go on; later calls do nothing.
  void Answer(bool allow);

 private:
  int group_;
  UniqueFd fd_;
  pid_t pid_;
};
