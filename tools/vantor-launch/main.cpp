// vantor-launch: sends program launches to the guard driver stand-in, vantorflt.sys, as the
// kernel's launch hook would, and prints each outcome.
//   vantor-launch [--raw] PATH...
// A drive-letter path (C:\tools\a.exe) is sent as the kernel path of its drive
// (\Device\HarddiskVolume1\tools\a.exe); --raw sends every path exactly as given.
// Exit code: 0 when every launch was allowed, 1 when one was not, 2 when a launch could not be
// sent (no driver, bad arguments).
#include <vantor/Launch.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "LaunchProtocol.h"

// The kit's header restates the driver's protocol for integrators; it must not drift from it.
static_assert(vantor::kLaunchControlCode == IOCTL_GUARD_LAUNCH);
static_assert(vantor::kLongestLaunchPath == kLongestLaunchPath);
constexpr bool SameOutcome(vantor::LaunchOutcome kit, LaunchOutcome driver) {
  return static_cast<std::uint32_t>(kit) == static_cast<std::uint32_t>(driver);
}
static_assert(SameOutcome(vantor::LaunchOutcome::None, LaunchOutcome::None) &&
              SameOutcome(vantor::LaunchOutcome::Allowed, LaunchOutcome::Allowed) &&
              SameOutcome(vantor::LaunchOutcome::Denied, LaunchOutcome::Denied) &&
              SameOutcome(vantor::LaunchOutcome::LetThrough, LaunchOutcome::LetThrough) &&
              SameOutcome(vantor::LaunchOutcome::TimedOut, LaunchOutcome::TimedOut) &&
              SameOutcome(vantor::LaunchOutcome::Refused, LaunchOutcome::Refused));

namespace {

// C:\x becomes \Device\HarddiskVolumeN\x; anything else stays as it is.
std::wstring KernelPath(const std::wstring& path) {
  if (path.size() < 2 || path[1] != L':') return path;
  wchar_t device[MAX_PATH] = {};
  if (QueryDosDeviceW(path.substr(0, 2).c_str(), device, MAX_PATH) == 0) return path;
  return device + path.substr(2);
}

std::string Narrow(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool raw = argc > 1 && std::wstring(argv[1]) == L"--raw";
  const int first = raw ? 2 : 1;
  if (argc <= first) {
    std::fputs("usage: vantor-launch [--raw] PATH...\n", stderr);
    return 2;
  }
  const HANDLE device = vantor::OpenGuardDevice();
  if (device == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr,
                 "vantor-launch: cannot open \\\\.\\VANTORFLT (error %lu): vantorflt.sys is not "
                 "loaded; a host's CVantor::Start loads it\n",
                 GetLastError());
    return 2;
  }
  int exitCode = 0;
  for (int i = first; i < argc; ++i) {
    const std::wstring path = raw ? argv[i] : KernelPath(argv[i]);
    vantor::LaunchOutcome outcome{};
    if (!vantor::SendLaunch(device, path.c_str(), path.size(), &outcome)) {
      std::printf("%s: not sent (error %lu)\n", Narrow(path).c_str(), GetLastError());
      exitCode = 2;
      continue;
    }
    std::printf("%s: %s\n", Narrow(path).c_str(), vantor::OutcomeName(outcome));
    if (outcome != vantor::LaunchOutcome::Allowed && exitCode == 0) exitCode = 1;
  }
  CloseHandle(device);
  return exitCode;
}
