// The 64-bit vantor.dll loaded by a host under Wine, with the real Basalt.dll and Arbiter.dll
// beside it: the exported members by their decorated names, the log through ordinal 8, and the
// service the module leaves in Wine's service manager.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "log/LogLines.h"
#include "platform/Handles.h"

namespace {

using StaticCall = bool (*)();

std::wstring ExecutableDirectory() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path);
  return text.substr(0, text.rfind(L'\\') + 1);
}

void DeleteGuardService() {
  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  ASSERT_TRUE(manager);
  const UniqueServiceHandle service(OpenServiceW(manager.get(), L"vantorflt", SERVICE_ALL_ACCESS));
  if (service) DeleteService(service.get());
}

class VantorDllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteGuardService();
    module = LoadLibraryW(L"vantor.dll");
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    start = reinterpret_cast<StaticCall>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "?Start@CVantor@@SA_NXZ")));
    stop = reinterpret_cast<StaticCall>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "?Stop@CVantor@@SA_NXZ")));
    ASSERT_NE(start, nullptr);
    ASSERT_NE(stop, nullptr);
  }
  void TearDown() override {
    if (module) FreeLibrary(module);
    DeleteGuardService();
  }
  HMODULE module = nullptr;
  StaticCall start = nullptr;
  StaticCall stop = nullptr;
};

TEST_F(VantorDllTest, StopBeforeStartWarnsThroughTheOrdinalSink) {
  SinkCapture capture;
  EXPECT_TRUE(stop());
  EXPECT_EQ(LogLines(capture),
            std::vector<std::string>({"2: VtClient\t Stop. Driver is not even initialized.\n"}));
}

TEST_F(VantorDllTest, StartFailsAtTheDeviceOpenAndLeavesAConfiguredService) {
  SinkCapture capture;
  EXPECT_FALSE(start());
  EXPECT_EQ(LogLines(capture),
            std::vector<std::string>({"3: VtClient\t Unable to open guard device driver.\n",
                                      "3: VtClient\t Unable to initialize driver.\n"}));

  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  const UniqueServiceHandle service(
      OpenServiceW(manager.get(), L"vantorflt", SERVICE_QUERY_CONFIG));
  ASSERT_TRUE(service) << "the module created the service";
  DWORD needed = 0;
  QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  std::vector<unsigned char> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  ASSERT_TRUE(QueryServiceConfigW(service.get(), config, needed, &needed));
  EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
  EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_DEMAND_START));
  EXPECT_EQ(config->dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  EXPECT_EQ(std::wstring(config->lpBinaryPathName), ExecutableDirectory() + L"vantorflt.sys");
  EXPECT_EQ(std::wstring(config->lpDisplayName), L"vantorflt");
}

}  // namespace
