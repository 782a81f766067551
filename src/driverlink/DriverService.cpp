#include "driverlink/DriverLink.h"
#include "log/GuardLog.h"
#include "module/ModuleState.h"
#include "platform/Handles.h"
#include "platform/Win32.h"

namespace {

constexpr char16_t kServiceName[] = u"vantorflt";

// The start request's result is not looked at: a service that already runs is fine, and
// whether the driver really runs is learned from the device open.
void RequestStart(SC_HANDLE service) {
  StartServiceW(service, 0, nullptr);
}

}  // namespace

// Handles are released in reverse order of opening: the service's before the manager's.
bool DriverLink::EnsureService() {
  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    GuardLog(3, u"VtClient\t Unable to open ServiceManager.\n");
    return false;
  }

  // An existing service is used as it is configured, whatever its driver file or start type.
  const UniqueServiceHandle existing(
      OpenServiceW(manager.get(), AsWin(kServiceName), SERVICE_ALL_ACCESS));
  if (existing) {
    RequestStart(existing.get());
    return true;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_SERVICE_DOES_NOT_EXIST) {
    GuardLog(3, u"VtClient\t Unable to open driver service, err: %#x\n", error);
    return false;
  }

  const UniqueServiceHandle created(CreateServiceW(
      manager.get(), AsWin(kServiceName), AsWin(kServiceName), SERVICE_START | SERVICE_STOP,
      SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
      AsWin(g_strDriverPath->c_str()), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (!created) {
    GuardLog(3, u"VtClient\t Unable to create service for driver.\n");
    return false;
  }
  RequestStart(created.get());
  return true;
}
