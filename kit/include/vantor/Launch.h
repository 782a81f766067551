#pragma once
// Sending a program launch to the guard driver stand-in, vantorflt.sys, as the kernel's launch
// hook would: bin/vantor-launch.exe does it from the command line; a test host can do it with
// vantor::SendLaunch. Header only (kernel32); the CMake target vantor::launch adds this folder.
//
// The protocol: open \\.\VANTORFLT (read and write), then one DeviceIoControl per launch with
// the control code kLaunchControlCode, the image's kernel path as input (UTF-16 code units,
// WITHOUT a terminating zero; the input's size gives the length) and 4 bytes of output, the
// LaunchOutcome. The call returns once the outcome is known: while the module guards, after the
// scanner's verdict. The path is a kernel path: \Device\HarddiskVolume2\Windows\notepad.exe
// reaches the scanner as C:\Windows\notepad.exe when C: is HarddiskVolume2 (QueryDosDeviceW
// names the device of a drive).
#include <stddef.h>
#include <stdint.h>
#include <windows.h>

namespace vantor {

// Device type 0x22, read and write access, function 0x880, buffered.
inline constexpr DWORD kLaunchControlCode = 0x0022E200;
inline constexpr wchar_t kGuardDevice[] = L"\\\\.\\VANTORFLT";
// The longest path the driver parks whole; longer ones are refused without asking the scanner.
inline constexpr size_t kLongestLaunchPath = 32767;

enum class LaunchOutcome : uint32_t {
  None = 0,        // the driver wrote no outcome
  Allowed = 1,     // the scanner said the image may run
  Denied = 2,      // the scanner said it may not
  LetThrough = 3,  // nothing was guarding, or guarding ended before a verdict
  TimedOut = 4,    // no verdict by the driver's deadline: the image may not run
  Refused = 5,     // the record cannot carry the path whole: never judged, the image may not run
};

inline const char* OutcomeName(LaunchOutcome outcome) {
  switch (outcome) {
    case LaunchOutcome::None:
      return "none";
    case LaunchOutcome::Allowed:
      return "allowed";
    case LaunchOutcome::Denied:
      return "denied";
    case LaunchOutcome::LetThrough:
      return "let through";
    case LaunchOutcome::TimedOut:
      return "timed out";
    case LaunchOutcome::Refused:
      return "refused";
  }
  return "unknown";
}

// The guard device, opened for launches; INVALID_HANDLE_VALUE when the driver is not loaded.
inline HANDLE OpenGuardDevice() {
  return CreateFileW(kGuardDevice, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                     nullptr);
}

// Sends one launch of `path` (length units, no terminator needed). false when the call failed:
// GetLastError says why.
inline bool SendLaunch(HANDLE device, const wchar_t* path, size_t length, LaunchOutcome* outcome) {
  uint32_t result = 0;
  DWORD bytes = 0;
  const BOOL sent = DeviceIoControl(device, kLaunchControlCode, const_cast<wchar_t*>(path),
                                    static_cast<DWORD>(length * sizeof(wchar_t)), &result,
                                    sizeof result, &bytes, nullptr);
  *outcome = static_cast<LaunchOutcome>(result);
  return sent != 0 && bytes == sizeof result;
}

}  // namespace vantor
