// Devices reached as \\.\NAME: opening one gives a Device handle; control codes go to the
// device object that its driver created.
#include "winsim/Devices.h"

#include <map>
#include <mutex>

#include "winsim/Calls.h"
#include "winsim/HandleTable.h"
#include "winsim/ResetParts.h"
#include "winsim/WideString.h"

using namespace winsim;

namespace winsim::detail {
namespace {

constexpr std::u16string_view kDevicePrefix = u"\\\\.\\";

std::mutex g_mutex;
std::map<std::u16string, std::shared_ptr<Device>> g_devices;  // by upper-case name

// Whether `access`, granted at open, covers the access bits (14 and 15) of a control code.
bool Allows(DWORD access, DWORD code) {
  const DWORD required = (code >> 14) & 3u;
  const bool canRead = (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0;
  const bool canWrite = (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) != 0;
  return ((required & FILE_READ_ACCESS) == 0 || canRead) &&
         ((required & FILE_WRITE_ACCESS) == 0 || canWrite);
}

}  // namespace

std::shared_ptr<Device> FindDevice(std::u16string_view name) {
  std::lock_guard lock(g_mutex);
  const auto found = g_devices.find(UpperCase(name));
  return found == g_devices.end() ? nullptr : found->second;
}

void ResetDevices() {
  std::lock_guard lock(g_mutex);
  g_devices.clear();
}

}  // namespace winsim::detail

HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                          DWORD flagsAndAttributes, HANDLE templateFile) {
  if (auto error = detail::EnterCall(Api::CreateFileW, [&] {
        return detail::CallLine("CreateFileW")
            .Text(fileName)
            .Hex(desiredAccess)
            .Hex(shareMode)
            .Pointer(security)
            .Dec(creationDisposition)
            .Hex(flagsAndAttributes)
            .Handle(templateFile)
            .Done();
      })) {
    SetLastError(*error);
    return INVALID_HANDLE_VALUE;
  }
  // winsim has devices only, no file system.
  const std::u16string_view name = detail::View(fileName);
  std::shared_ptr<Device> device;
  if (name.starts_with(detail::kDevicePrefix)) {
    device = detail::FindDevice(name.substr(detail::kDevicePrefix.size()));
  }
  if (device == nullptr) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (creationDisposition != OPEN_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = detail::AddHandle(HandleKind::Device, device, desiredAccess);
  device->Opened(handle);
  return handle;
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inSize,
                            LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                            LPOVERLAPPED overlapped) {
  if (auto error = detail::EnterCall(Api::DeviceIoControl, [&] {
        return detail::CallLine("DeviceIoControl")
            .Handle(device)
            .Hex(ioControlCode)
            .Pointer(inBuffer)
            .Dec(inSize)
            .Pointer(outBuffer)
            .Dec(outSize)
            .Pointer(bytesReturned)
            .Pointer(overlapped)
            .Done();
      })) {
    SetLastError(*error);
    return FALSE;
  }
  const auto entry = detail::FindHandle(device, {HandleKind::Device});
  if (!entry) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Without an overlapped structure the count of bytes returned is required.
  if (bytesReturned == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!detail::Allows(entry->access, ioControlCode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  *bytesReturned = 0;
  return detail::ObjectOf<Device>(*entry)->Control(device, ioControlCode, inBuffer, inSize,
                                                   outBuffer, outSize, bytesReturned);
}

namespace winsim {

void AddDevice(const std::u16string& deviceName, std::shared_ptr<Device> device) {
  std::lock_guard lock(detail::g_mutex);
  detail::g_devices[detail::UpperCase(deviceName)] = std::move(device);
}

void RemoveDevice(const std::u16string& deviceName) {
  std::lock_guard lock(detail::g_mutex);
  detail::g_devices.erase(detail::UpperCase(deviceName));
}

}  // namespace winsim
