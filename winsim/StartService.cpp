// StartServiceW: a stopped service whose binary has a registered driver image is started by
// loading the image, which creates the driver's device.
#include "winsim/Calls.h"
#include "winsim/Devices.h"
#include "winsim/ServiceDatabase.h"
#include "winsim/WideString.h"

using namespace winsim;

namespace {

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

BOOL WINAPI StartServiceW(SC_HANDLE service, DWORD argumentCount, LPCWSTR* arguments) {
  if (auto error = detail::EnterCall(Api::StartServiceW, [&] {
        return detail::CallLine("StartServiceW")
            .Handle(service)
            .Dec(argumentCount)
            .Pointer(arguments)
            .Done();
      })) {
    return Fail(*error);
  }
  const auto record = detail::ServiceForCall(service, SERVICE_START);
  if (record == nullptr) return FALSE;
  std::u16string fileName;
  {
    std::lock_guard lock(detail::ServiceMutex());
    if (record->markedForDelete) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    if (record->config.running || record->starting) return Fail(ERROR_SERVICE_ALREADY_RUNNING);
    if (record->config.startType == SERVICE_DISABLED) return Fail(ERROR_SERVICE_DISABLED);
    record->starting = true;
    fileName = detail::FileNamePart(record->config.binaryPath);
  }
  DWORD error = ERROR_SUCCESS;
  std::optional<detail::DriverImage> image = detail::ClaimDriverImage(fileName, error);
  // The driver's own initialisation runs outside every winsim lock: it may call back in.
  std::shared_ptr<Device> device = image ? image->load() : nullptr;
  if (image && device == nullptr) {
    detail::UnclaimDriverImage(fileName);
    error = ERROR_GEN_FAILURE;
  }
  if (device != nullptr) AddDevice(image->deviceName, std::move(device));
  std::lock_guard lock(detail::ServiceMutex());
  record->starting = false;
  record->config.running = error == ERROR_SUCCESS;
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}
