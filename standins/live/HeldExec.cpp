#include "HeldExec.h"

#include <sys/fanotify.h>

#include <array>

bool PathOfDescriptor(int fd, std::string* path) {
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  std::array<char, 4096> buffer;
  const ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size());
  // A result that fills the buffer may have been cut.
  if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return false;
  path->assign(buffer.data(), static_cast<std::size_t>(length));
  return true;
}

void HeldExec::Answer(bool allow) {
  if (!fd_) return;
  const fanotify_response response{fd_.Get(), static_cast<__u32>(allow ? FAN_ALLOW : FAN_DENY)};
  // A failed write leaves nothing to retry: the kernel only refuses an answer for an event it
  // no longer holds.
  [[maybe_unused]] const ssize_t written = ::write(group_, &response, sizeof response);
  fd_.Reset();
}
