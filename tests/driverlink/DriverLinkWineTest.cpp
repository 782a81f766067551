// The driver link against Wine's real service manager: the service it creates and the lines it
// writes when no driver answers at the guard device. The service is deleted again afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "LogLines.h"
#include "driverlink/DriverLink.h"
#include "driverlink/DriverLinkState.h"
#include "platform/Handles.h"
#include "platform/NtStub.h"
#include "platform/ProcAddress.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kNoDevice = "3: VtClient\t Unable to open guard device driver.\n";

struct ServiceSettings {
  DWORD type;
  DWORD startType;
  DWORD errorControl;
  std::u16string binaryPath;
  std::u16string displayName;
  bool hasGroup;
  bool hasDependencies;
};

std::u16string Text(const wchar_t* text) {
  return text == nullptr ? u"" : std::u16string(FromWin(text));
}

// The service "vantorflt" as the service manager reports it, if it exists.
std::optional<ServiceSettings> QueryService() {
  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return std::nullopt;
  const UniqueServiceHandle service(
      OpenServiceW(manager.get(), AsWin(u"vantorflt"), SERVICE_QUERY_CONFIG));
  if (!service) return std::nullopt;
  DWORD needed = 0;
  QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  std::vector<std::uint8_t> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!QueryServiceConfigW(service.get(), config, needed, &needed)) return std::nullopt;
  return ServiceSettings{config->dwServiceType,
                         config->dwStartType,
                         config->dwErrorControl,
                         Text(config->lpBinaryPathName),
                         Text(config->lpDisplayName),
                         !Text(config->lpLoadOrderGroup).empty(),
                         !Text(config->lpDependencies).empty()};
}

void DeleteTheService() {
  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return;
  const UniqueServiceHandle service(OpenServiceW(manager.get(), AsWin(u"vantorflt"), DELETE));
  if (service) DeleteService(service.get());
}

std::u16string ExecutableDirectory() {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::u16string text = FromWin(path);
  return text.substr(0, text.rfind(u'\\') + 1);
}

class DriverLinkWine : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTheService();
    DriverLink::Release();
    DriverLink::BuildDriverPath();
  }
  void TearDown() override {
    DriverLink::Release();
    DeleteTheService();
  }

  // Level and message of every line, after checking that each stamp is "[HH:MM] ".
  Lines TakeLines() {
    for (const std::string& stamp : log_.Stamps()) {
      EXPECT_EQ(stamp.size(), 8u);
      EXPECT_EQ(stamp.front(), '[');
      EXPECT_EQ(stamp.substr(3, 1), ":");
      EXPECT_EQ(stamp.substr(6), "] ");
    }
    Lines lines = log_.Lines();
    log_.Clear();
    return lines;
  }

  LogLines log_;
};

TEST_F(DriverLinkWine, TheDriverPathSitsBesideTheExecutable) {
  EXPECT_EQ(g_strDriverPath, ExecutableDirectory() + u"vantorflt.sys");
}

TEST_F(DriverLinkWine, CreatesTheServiceAndFailsAtTheDeviceOpen) {
  ASSERT_FALSE(QueryService().has_value());
  EXPECT_FALSE(DriverLink::Initialize());
  EXPECT_EQ(TakeLines(), Lines{kNoDevice});
  EXPECT_FALSE(g_hDevice.valid());
  EXPECT_EQ(g_pSharedSlot, nullptr);

  const std::optional<ServiceSettings> service = QueryService();
  ASSERT_TRUE(service.has_value());
  EXPECT_EQ(service->type, DWORD{SERVICE_KERNEL_DRIVER});
  EXPECT_EQ(service->startType, DWORD{SERVICE_DEMAND_START});
  EXPECT_EQ(service->errorControl, DWORD{SERVICE_ERROR_NORMAL});
  EXPECT_EQ(service->binaryPath, g_strDriverPath);
  EXPECT_EQ(service->displayName, u"vantorflt");
  EXPECT_FALSE(service->hasGroup);
  EXPECT_FALSE(service->hasDependencies);

  // The next attempt finds the service and runs through the same way.
  EXPECT_FALSE(DriverLink::Initialize());
  EXPECT_EQ(TakeLines(), Lines{kNoDevice});
}

TEST_F(DriverLinkWine, AnExistingServiceIsLeftAsItIsConfigured) {
  {
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager);
    const UniqueServiceHandle created(CreateServiceW(
        manager.get(), AsWin(u"vantorflt"), AsWin(u"Vantor guard"), SERVICE_ALL_ACCESS,
        SERVICE_KERNEL_DRIVER, SERVICE_DISABLED, SERVICE_ERROR_IGNORE,
        AsWin(u"C:\\Drivers\\elsewhere.sys"), nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(created);
  }
  EXPECT_TRUE(DriverLink::EnsureService());
  EXPECT_EQ(TakeLines(), Lines{});
  const std::optional<ServiceSettings> service = QueryService();
  ASSERT_TRUE(service.has_value());
  EXPECT_EQ(service->startType, DWORD{SERVICE_DISABLED});
  EXPECT_EQ(service->errorControl, DWORD{SERVICE_ERROR_IGNORE});
  EXPECT_EQ(service->binaryPath, u"C:\\Drivers\\elsewhere.sys");
  EXPECT_EQ(service->displayName, u"Vantor guard");
}

// The handshake reads the service number where this build's ntdll stub carries it: behind
// "mov r10, rcx; mov eax," on x64, behind "mov eax," on x86.
TEST(NtCreateSectionStub, CarriesTheServiceNumberWhereTheModuleReadsIt) {
  const FARPROC entry = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateSection");
  ASSERT_NE(entry, nullptr);
  const BYTE* code = ProcCode(entry);
  ASSERT_EQ(code[kServiceNumberOffset - 1], 0xB8);  // mov eax, imm32
  if (kServiceNumberOffset == 4) {
    EXPECT_EQ(code[0], 0x4C);  // mov r10, rcx
    EXPECT_EQ(code[1], 0x8B);
    EXPECT_EQ(code[2], 0xD1);
  }
  std::uint32_t number = 0;
  std::memcpy(&number, code + kServiceNumberOffset, sizeof number);
  EXPECT_LT(number, 0x1000u);  // a system-service number, not code
}

}  // namespace
