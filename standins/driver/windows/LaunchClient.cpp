#include "LaunchClient.h"

LaunchClient::LaunchClient()
    : device_(CreateFileW(L"\\\\.\\VANTORFLT", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr)) {}

bool LaunchClient::Call(std::uint32_t code, const void* in, DWORD inBytes, void* out,
                        DWORD outBytes) const {
  const UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done) return false;
  OVERLAPPED overlapped{};
  overlapped.hEvent = done.get();
  DWORD bytes = 0;
  if (!DeviceIoControl(device_.get(), code, const_cast<void*>(in), inBytes, out, outBytes, &bytes,
                       &overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  return GetOverlappedResult(device_.get(), &overlapped, &bytes, TRUE) && bytes == outBytes;
}

std::optional<LaunchOutcome> LaunchClient::Launch(std::u16string_view path) const {
  std::uint32_t outcome = 0;
  const auto bytes = static_cast<DWORD>(path.size() * sizeof(char16_t));
  if (!Call(IOCTL_GUARD_LAUNCH, path.data(), bytes, &outcome, sizeof outcome)) return std::nullopt;
  return static_cast<LaunchOutcome>(outcome);
}

std::optional<GuardCounters> LaunchClient::Counters() const {
  GuardCounters counters{};
  if (!Call(IOCTL_GUARD_COUNTERS, nullptr, 0, &counters, sizeof counters)) return std::nullopt;
  return counters;
}

bool LaunchClient::SetDeadline(std::uint32_t milliseconds) const {
  return Call(IOCTL_GUARD_SET_DEADLINE, &milliseconds, sizeof milliseconds, nullptr, 0);
}
