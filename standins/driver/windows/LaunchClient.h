#pragma once
// Sends program launches to the guard driver, vantorflt.sys, as the kernel's launch hook would:
// one call per launch, returning once the driver has the outcome. One client serves any number of
// threads at once: its handle is opened for overlapped I/O, so no call waits behind another.
#include <cstdint>
#include <optional>
#include <string_view>

#include "LaunchProtocol.h"
#include "platform/Handles.h"

class LaunchClient {
 public:
  // Opens \\.\VANTORFLT; IsOpen() tells whether the driver was there.
  LaunchClient();

  bool IsOpen() const { return device_.valid(); }
  // The launch's outcome; nullopt when the call failed (GetLastError says why).
  std::optional<LaunchOutcome> Launch(std::u16string_view path) const;
  std::optional<GuardCounters> Counters() const;
  // The deadline of launches arriving from now on.
  bool SetDeadline(std::uint32_t milliseconds) const;

 private:
  // One control code, waited for; true when it succeeded and filled exactly outBytes.
  bool Call(std::uint32_t code, const void* in, DWORD inBytes, void* out, DWORD outBytes) const;

  UniqueHandle device_;
};
