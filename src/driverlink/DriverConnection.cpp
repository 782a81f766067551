#include <algorithm>
#include <cstdint>
#include <cstring>

#include "driverlink/DriverLink.h"
#include "log/GuardLog.h"
#include "module/ModuleState.h"
#include "platform/NtStub.h"
#include "platform/ProcAddress.h"
#include "platform/Win32.h"

namespace {

// The system-service number sits as the 32-bit operand of the "mov eax, imm32" in ntdll's
// NtCreateSection stub. False when ntdll has no such entry or its code begins otherwise.
bool ReadServiceNumber(std::uint32_t& serviceNumber) {
  const HMODULE ntdll = GetModuleHandleW(AsWin(u"ntdll.dll"));
  const FARPROC entry = ntdll != nullptr ? GetProcAddress(ntdll, "NtCreateSection") : nullptr;
  if (entry == nullptr) {
    GuardLog(3, u"VtClient\t Unable to find NtCreateSection in ntdll, last error: %d\n",
             GetLastError());
    return false;
  }
  const BYTE* code = ProcCode(entry);
  if (!std::equal(kServiceStubPrefix.begin(), kServiceStubPrefix.end(), code)) {
    GuardLog(3,
             u"VtClient\t NtCreateSection in ntdll does not begin as expected, no service "
             u"number to hand over.\n");
    return false;
  }
  std::memcpy(&serviceNumber, code + kServiceNumberOffset, sizeof serviceNumber);
  return true;
}

bool AllZero(const InitializeReply& reply) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&reply);
  return std::all_of(bytes, bytes + sizeof reply, [](std::uint8_t b) { return b == 0; });
}

// The handshake on the open device: hands over the request and stores the record's address.
bool Handshake() {
  if (!ReadServiceNumber(g_InitializeRequest.ServiceNumber)) return false;
  g_InitializeRequest.ProcessId = GetCurrentProcessId();
  g_InitializeRequest.Reserved[0] = 0;
  g_InitializeRequest.Reserved[1] = 0;

  InitializeReply reply{};
  DWORD bytesReturned = 0;
  if (!DeviceIoControl(g_hDevice->get(), IOCTL_GUARD_INITIALIZE, &g_InitializeRequest,
                       sizeof g_InitializeRequest, &reply, sizeof reply, &bytesReturned, nullptr)) {
    GuardLog(3, u"VtClient\t Initialize failure, Last error: %d\n", GetLastError());
    return false;
  }
  // The byte count is not trusted; the reply is judged by its content.
  if (AllZero(reply)) {
    GuardLog(3,
             u"VtClient\t Initialize failure, driver did not fill output buffer with shared ptr, "
             u"last error: %d\n",
             GetLastError());
    return false;
  }
  g_pSharedSlot = reinterpret_cast<SharedSlot*>(static_cast<std::uintptr_t>(reply.SlotAddress));
  if (g_pSharedSlot == nullptr) {
    GuardLog(3,
             u"VtClient\t Initialize failure, failure to get shared buffer ptr, last error: %d\n",
             GetLastError());
    return false;
  }
  // Pending and Verdict are 32-bit words shared with the driver: each store must be one aligned
  // store, which a misaligned record cannot give.
  if (reply.SlotAddress % alignof(std::uint32_t) != 0) {
    g_pSharedSlot = nullptr;  // never handed to a pump
    GuardLog(3, u"VtClient\t Initialize failure, shared buffer ptr %d is not 4-byte aligned.\n",
             static_cast<std::int32_t>(reply.SlotAddress));
    return false;
  }
  GuardLog(1, u"VtClient\t Initialized, shared buffer ptr: %d\n",
           static_cast<std::int32_t>(reply.SlotAddress));
  return true;
}

}  // namespace

bool DriverLink::Initialize() {
  if (!EnsureService()) {
    GuardLog(3, u"VtClient\t Unable to install driver service.\n");
    return false;
  }

  // A failed attempt closes its device handle (below), so nothing is open here; a handle held
  // all the same is closed before the device is opened again.
  g_hDevice->reset();
  const HANDLE device = CreateFileW(AsWin(kGuardDeviceName), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    GuardLog(3, u"VtClient\t Unable to open guard device driver.\n");
    return false;
  }
  g_hDevice->reset(device);

  if (!Handshake()) {
    // Closed after the failure line is written, so that line carries the handshake's error.
    g_hDevice->reset();
    return false;
  }
  return true;
}

void DriverLink::Release() {
  g_hDevice->reset();
  std::u16string().swap(*g_strDriverPath);
}
