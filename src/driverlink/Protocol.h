#pragma once
// What the module and the guard driver agree on: the device, the three control codes, the
// 16-byte handshake records and the shared request record. All numbers are little-endian and
// fixed-width; SlotAddress is 32 bits wide, as the product runs in 32-bit processes. The driver's
// kernel build includes this header too, so it needs nothing beyond the fixed-width types.
#include <cstddef>
#include <cstdint>

// Win32 name of the guard device, opened with CreateFileW.
inline constexpr char16_t kGuardDeviceName[] = u"\\\\.\\VANTORFLT";

// Handshake input: the system-service number of ntdll's NtCreateSection and the host's id.
struct InitializeRequest {
  std::uint32_t ServiceNumber;
  std::uint32_t ProcessId;
  std::uint32_t Reserved[2];
};

// Handshake output. SlotAddress 0 means no record; the other bytes only count in the test
// for an untouched (all-zero) reply.
struct InitializeReply {
  std::uint32_t SlotAddress;
  std::uint8_t Rest[12];
};

// The request record the driver maps into the host process. The driver writes ImagePath (a
// zero-terminated device path) and then sets Pending; the module stores Verdict (1 may run,
// 0 may not) and then clears Pending, which hands the record back.
struct SharedSlot {
  std::uint32_t Pending;
  std::uint32_t Verdict;
  char16_t ImagePath[1];  // continues to the path's terminating zero
};

static_assert(sizeof(InitializeRequest) == 16);
static_assert(offsetof(InitializeRequest, ServiceNumber) == 0);
static_assert(offsetof(InitializeRequest, ProcessId) == 4);
static_assert(offsetof(InitializeRequest, Reserved) == 8);
static_assert(sizeof(InitializeReply) == 16);
static_assert(offsetof(InitializeReply, SlotAddress) == 0);
static_assert(offsetof(InitializeReply, Rest) == 4);
static_assert(offsetof(SharedSlot, Pending) == 0);
static_assert(offsetof(SharedSlot, Verdict) == 4);
static_assert(offsetof(SharedSlot, ImagePath) == 8);
static_assert(sizeof(char16_t) == 2);

// Transfer methods of a control code: how the I/O system hands over its buffers.
inline constexpr std::uint32_t kMethodBuffered = 0;
inline constexpr std::uint32_t kMethodOutDirect = 2;
inline constexpr std::uint32_t kMethodNeither = 3;

// A guard device control code: device type unknown (0x22), read and write access (3), the
// function number and the transfer method, composed as the I/O system reads them.
constexpr std::uint32_t GuardControlCode(std::uint32_t function, std::uint32_t method) {
  constexpr std::uint32_t kDeviceTypeUnknown = 0x22;
  constexpr std::uint32_t kReadWriteAccess = 3;
  return kDeviceTypeUnknown << 16 | kReadWriteAccess << 14 | function << 2 | method;
}

inline constexpr std::uint32_t IOCTL_GUARD_INITIALIZE = GuardControlCode(0x800, kMethodOutDirect);
inline constexpr std::uint32_t IOCTL_GUARD_START = GuardControlCode(0x801, kMethodNeither);
inline constexpr std::uint32_t IOCTL_GUARD_STOP = GuardControlCode(0x802, kMethodNeither);

static_assert(IOCTL_GUARD_INITIALIZE == 0x0022E002);
static_assert(IOCTL_GUARD_START == 0x0022E007);
static_assert(IOCTL_GUARD_STOP == 0x0022E00B);
