// The driver link against Wine's real service manager: with no driver behind the guard device,
// Initialize creates the service as configured and fails at the device open. The service is
// deleted again afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "driverlink/DriverLink.h"
#include "driverlink/DriverLinkState.h"
#include "log/LogLines.h"
#include "platform/Handles.h"

namespace {

// Type, start type, error control, driver file, display name.
using Settings = std::tuple<DWORD, DWORD, DWORD, std::u16string, std::u16string>;

// The service "vantorflt" as the service manager reports it; nullopt when there is none.
std::optional<Settings> QueryService() {
  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  const UniqueServiceHandle service(
      OpenServiceW(manager.get(), L"vantorflt", SERVICE_QUERY_CONFIG));
  if (!service) return std::nullopt;
  DWORD needed = 0;
  QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  std::vector<std::uint8_t> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!QueryServiceConfigW(service.get(), config, needed, &needed)) return std::nullopt;
  return Settings{config->dwServiceType, config->dwStartType, config->dwErrorControl,
                  FromWin(config->lpBinaryPathName), FromWin(config->lpDisplayName)};
}

void DeleteTheService() {
  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  const UniqueServiceHandle service(OpenServiceW(manager.get(), L"vantorflt", DELETE));
  if (service) DeleteService(service.get());
}

TEST(DriverLinkWine, CreatesTheServiceAndFailsAtTheDeviceOpen) {
  DeleteTheService();
  ASSERT_FALSE(QueryService().has_value());
  DriverLink::BuildDriverPath();
  for (int attempt = 0; attempt < 2; ++attempt) {  // the second finds the service created
    SinkCapture capture;
    EXPECT_FALSE(DriverLink::Initialize());
    EXPECT_EQ(LogLines(capture),
              std::vector<std::string>{"3: VtClient\t Unable to open guard device driver.\n"});
    EXPECT_FALSE(g_hDevice.valid());
  }
  wchar_t host[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, host, MAX_PATH);
  const std::u16string hostPath = FromWin(host);
  const std::u16string driverPath =
      hostPath.substr(0, hostPath.rfind(u'\\') + 1) + u"vantorflt.sys";
  EXPECT_EQ(QueryService(), (Settings{SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                      SERVICE_ERROR_NORMAL, driverPath, u"vantorflt"}));
  DriverLink::Release();
  DeleteTheService();
  EXPECT_FALSE(QueryService().has_value());
}

}  // namespace
