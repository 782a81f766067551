// The driver link against winsim's service manager and devices, with the driver stand-in as the
// image "vantorflt.sys": the lines written, the service created, the handshake as the driver
// sees it, and the handles left open on every path.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "GuardDriver.h"
#include "JournalMatch.h"
#include "LogLines.h"
#include "driverlink/DriverLink.h"
#include "driverlink/DriverLinkState.h"
#include "winsim/Control.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kNoManager = "3: VtClient\t Unable to open ServiceManager.\n";
const std::string kNoCreate = "3: VtClient\t Unable to create service for driver.\n";
const std::string kNoInstall = "3: VtClient\t Unable to install driver service.\n";
const std::string kNoDevice = "3: VtClient\t Unable to open guard device driver.\n";

std::string NoService(const char* error) {
  return std::string("3: VtClient\t Unable to open driver service, err: ") + error + "\n";
}
std::string HandshakeFailed(DWORD error) {
  return "3: VtClient\t Initialize failure, Last error: " + std::to_string(error) + "\n";
}
std::string ReplyUntouched(DWORD error) {
  return "3: VtClient\t Initialize failure, driver did not fill output buffer with shared ptr, "
         "last error: " +
         std::to_string(error) + "\n";
}
std::string NoAddress(DWORD error) {
  return "3: VtClient\t Initialize failure, failure to get shared buffer ptr, last error: " +
         std::to_string(error) + "\n";
}
std::string NoEntryPoint(DWORD error) {
  return "3: VtClient\t Unable to find NtCreateSection in ntdll, last error: " +
         std::to_string(error) + "\n";
}
std::string Connected(std::uint32_t address) {
  return "1: VtClient\t Initialized, shared buffer ptr: " +
         std::to_string(static_cast<std::int32_t>(address)) + "\n";
}

const std::u16string kDefaultDriverPath = u"C:\\Program Files\\Host\\vantorflt.sys";

class DriverLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    winsim::SetLocalTime(9, 5);
    DriverLink::Release();
    g_pSharedSlot = nullptr;
    g_InitializeRequest = {};
    managers_ = winsim::OpenHandleCount(winsim::HandleKind::ServiceManager);
    services_ = winsim::OpenHandleCount(winsim::HandleKind::Service);
    devices_ = winsim::OpenHandleCount(winsim::HandleKind::Device);
    driver_ = InstallGuardDriver();
    DriverLink::BuildDriverPath();
    log_.emplace();
  }
  void TearDown() override {
    DriverLink::Release();
    log_.reset();
    winsim::ClearFailures();
  }

  // No service-manager handle stays open, and exactly `devices` device handles (the module's).
  void ExpectHandles(int devices) const {
    EXPECT_EQ(winsim::OpenHandleCount(winsim::HandleKind::ServiceManager), managers_);
    EXPECT_EQ(winsim::OpenHandleCount(winsim::HandleKind::Service), services_);
    EXPECT_EQ(winsim::OpenHandleCount(winsim::HandleKind::Device), devices_ + devices);
    EXPECT_EQ(driver_->OpenHandles(), devices);
    EXPECT_EQ(g_hDevice.valid(), devices == 1);
  }

  // A successful attempt: the one level-1 line, the record in module state, the device open.
  void ExpectConnected() {
    EXPECT_EQ(log_->Lines(), Lines{Connected(driver_->SlotAddress())});
    EXPECT_EQ(g_pSharedSlot, driver_->Slot());
    ExpectHandles(1);
  }

  Lines TakeLines() {
    Lines lines = log_->Lines();
    for (const std::string& stamp : log_->Stamps()) EXPECT_EQ(stamp, "[09:05] ");
    log_->Clear();
    return lines;
  }

  std::shared_ptr<GuardDriver> driver_;
  std::optional<LogLines> log_;
  int managers_ = 0;
  int services_ = 0;
  int devices_ = 0;
};

TEST_F(DriverLinkTest, CreatesTheAbsentServiceStartsItAndConnects) {
  winsim::StartJournal();
  ASSERT_TRUE(DriverLink::Initialize());
  const std::string mismatch =
      JournalMismatch(winsim::TakeJournal(),
                      {
                          "OpenSCManagerW(null, null, 0xf003f)",
                          "OpenServiceW({M}, vantorflt, 0xf01ff)",
                          "CreateServiceW({M}, vantorflt, vantorflt, 0x30, 1, 3, 1, "
                          "C:\\Program Files\\Host\\vantorflt.sys, null, null, null, null, null)",
                          "StartServiceW({S}, 0, null)",
                          "CloseServiceHandle({S})",
                          "CloseServiceHandle({M})",
                          "CreateFileW(\\\\.\\VANTORFLT, 0xc0000000, 0, null, 3, 0x4, null)",
                          "GetModuleHandleW(ntdll.dll)",
                          "GetProcAddress({N}, NtCreateSection)",
                          "DeviceIoControl({D}, 0x22e002, ptr, 16, ptr, 16, ptr, null)",
                      });
  EXPECT_EQ(mismatch, "");
  ExpectConnected();

  const std::optional<winsim::ServiceConfig> service = winsim::FindService(u"vantorflt");
  ASSERT_TRUE(service.has_value());
  EXPECT_EQ(service->name, u"vantorflt");
  EXPECT_EQ(service->displayName, u"vantorflt");
  EXPECT_EQ(service->type, DWORD{SERVICE_KERNEL_DRIVER});
  EXPECT_EQ(service->startType, DWORD{SERVICE_DEMAND_START});
  EXPECT_EQ(service->errorControl, DWORD{SERVICE_ERROR_NORMAL});
  EXPECT_EQ(service->binaryPath, kDefaultDriverPath);
  EXPECT_FALSE(service->loadOrderGroup.has_value());
  EXPECT_EQ(service->tagId, 0u);
  EXPECT_FALSE(service->dependencies.has_value());
  EXPECT_FALSE(service->serviceStartName.has_value());
  EXPECT_FALSE(service->password.has_value());
  EXPECT_TRUE(service->running);
  EXPECT_EQ(driver_->Stats().loads, 1u);
}

TEST_F(DriverLinkTest, StartsAPresentStoppedServiceAsItIsConfigured) {
  winsim::AddService({.name = u"vantorflt",
                      .displayName = u"Vantor guard",
                      .startType = 2,
                      .binaryPath = u"D:\\Drivers\\VANTORFLT.SYS"});
  ASSERT_TRUE(DriverLink::Initialize());
  ExpectConnected();
  EXPECT_EQ(winsim::CallCount(winsim::Api::CreateServiceW), 0);
  const std::optional<winsim::ServiceConfig> service = winsim::FindService(u"vantorflt");
  ASSERT_TRUE(service.has_value());
  EXPECT_EQ(service->binaryPath, u"D:\\Drivers\\VANTORFLT.SYS");
  EXPECT_EQ(service->displayName, u"Vantor guard");
  EXPECT_EQ(service->startType, 2u);
  EXPECT_TRUE(service->running);
}

TEST_F(DriverLinkTest, AServiceAlreadyRunningFailsToStartUnnoticedAndTheDeviceOpens) {
  ASSERT_TRUE(DriverLink::Initialize());
  DriverLink::Release();
  DriverLink::BuildDriverPath();
  TakeLines();
  winsim::StartJournal();
  ASSERT_TRUE(DriverLink::Initialize());
  const std::vector<std::string> journal = winsim::TakeJournal();
  ASSERT_GE(journal.size(), 5u);
  EXPECT_EQ(JournalMismatch({journal.begin(), journal.begin() + 5},
                            {
                                "OpenSCManagerW(null, null, 0xf003f)",
                                "OpenServiceW({M}, vantorflt, 0xf01ff)",
                                "StartServiceW({S}, 0, null)",
                                "CloseServiceHandle({S})",
                                "CloseServiceHandle({M})",
                            }),
            "");
  ExpectConnected();
  EXPECT_EQ(driver_->Stats().loads, 1u);
  EXPECT_EQ(winsim::CallCount(winsim::Api::StartServiceW), 2);
}

TEST_F(DriverLinkTest, AServiceForAnotherDriverFileIsUsedUnchangedAndNoDeviceAppears) {
  winsim::AddService({.name = u"vantorflt",
                      .displayName = u"vantorflt",
                      .binaryPath = u"C:\\Windows\\System32\\drivers\\other.sys"});
  EXPECT_FALSE(DriverLink::Initialize());
  EXPECT_EQ(TakeLines(), Lines{kNoDevice});
  ExpectHandles(0);
  EXPECT_EQ(winsim::FindService(u"vantorflt")->binaryPath,
            u"C:\\Windows\\System32\\drivers\\other.sys");
  EXPECT_EQ(winsim::CallCount(winsim::Api::CreateServiceW), 0);
  EXPECT_EQ(driver_->Stats().loads, 0u);
}

// Each way an attempt can fail, the exact lines it writes, and a next attempt that succeeds once
// the cause is gone. Handles are checked after the failure and after the success.
struct FailureCase {
  const char* name;
  std::function<void(GuardDriver&)> arrange;
  std::function<Lines()> lines;
  bool reachedDevice;  // the failing attempt opened the device
};

void PrintTo(const FailureCase& c, std::ostream* out) {
  *out << c.name;
}

class DriverLinkFailure : public DriverLinkTest,
                          public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DriverLinkFailure, WritesItsLinesLeavesNoHandleAndTheNextAttemptConnects) {
  const FailureCase& c = GetParam();
  c.arrange(*driver_);
  EXPECT_FALSE(DriverLink::Initialize());
  EXPECT_EQ(TakeLines(), c.lines());
  ExpectHandles(0);
  EXPECT_EQ(driver_->Stats().opens, c.reachedDevice ? 1u : 0u);

  winsim::ClearFailures();
  driver_->ClearCodeFailures();
  driver_->SetReplyMode(GuardDriver::ReplyMode::Normal);
  winsim::SetNtCreateSectionCode(std::vector<BYTE>{0xB8, 0x37, 0, 0, 0, 0xC3});
  ASSERT_TRUE(DriverLink::Initialize());
  ExpectConnected();
  const GuardDriver::Statistics stats = driver_->Stats();
  EXPECT_EQ(stats.opens - stats.closes, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, DriverLinkFailure,
    ::testing::Values(
        FailureCase{"ManagerNotOpened",
                    [](GuardDriver&) {
                      winsim::FailCall(winsim::Api::OpenSCManagerW, ERROR_ACCESS_DENIED);
                    },
                    [] {
                      return Lines{kNoManager, kNoInstall};
                    },
                    false},
        FailureCase{
            "ServiceOpenAccessDenied",
            [](GuardDriver&) { winsim::FailCall(winsim::Api::OpenServiceW, ERROR_ACCESS_DENIED); },
            [] {
              return Lines{NoService("0x5"), kNoInstall};
            },
            false},
        FailureCase{"ServiceMarkedForDelete",
                    [](GuardDriver&) {
                      winsim::FailCall(winsim::Api::OpenServiceW, ERROR_SERVICE_MARKED_FOR_DELETE);
                    },
                    [] {
                      return Lines{NoService("0x430"), kNoInstall};
                    },
                    false},
        FailureCase{"ServiceNotCreated",
                    [](GuardDriver&) {
                      winsim::FailCall(winsim::Api::CreateServiceW, ERROR_ACCESS_DENIED);
                    },
                    [] {
                      return Lines{kNoCreate, kNoInstall};
                    },
                    false},
        FailureCase{
            "DeviceNotOpened",
            [](GuardDriver&) { winsim::FailCall(winsim::Api::CreateFileW, ERROR_ACCESS_DENIED); },
            [] { return Lines{kNoDevice}; }, false},
        FailureCase{"NoNtCreateSection",
                    [](GuardDriver&) { winsim::SetNtCreateSectionCode(std::nullopt); },
                    [] { return Lines{NoEntryPoint(ERROR_PROC_NOT_FOUND)}; }, true},
        FailureCase{"NtdllNotFound",
                    [](GuardDriver&) {
                      winsim::FailCall(winsim::Api::GetModuleHandleW, ERROR_MOD_NOT_FOUND);
                    },
                    [] { return Lines{NoEntryPoint(ERROR_MOD_NOT_FOUND)}; }, true},
        FailureCase{
            "HandshakeRefusedByTheDriver",
            [](GuardDriver& driver) { driver.FailCode(IOCTL_GUARD_INITIALIZE, ERROR_GEN_FAILURE); },
            [] { return Lines{HandshakeFailed(ERROR_GEN_FAILURE)}; }, true},
        FailureCase{"HandshakeCallFailed",
                    [](GuardDriver&) {
                      winsim::FailCall(winsim::Api::DeviceIoControl, ERROR_NOT_SUPPORTED);
                    },
                    [] { return Lines{HandshakeFailed(ERROR_NOT_SUPPORTED)}; }, true},
        // The last error then is still the one the absent service's open left behind.
        FailureCase{
            "ReplyUntouched",
            [](GuardDriver& driver) { driver.SetReplyMode(GuardDriver::ReplyMode::Untouched); },
            [] { return Lines{ReplyUntouched(ERROR_SERVICE_DOES_NOT_EXIST)}; }, true},
        FailureCase{
            "ZeroAddress",
            [](GuardDriver& driver) { driver.SetReplyMode(GuardDriver::ReplyMode::ZeroAddress); },
            [] { return Lines{NoAddress(ERROR_SERVICE_DOES_NOT_EXIST)}; }, true}),
    [](const ::testing::TestParamInfo<FailureCase>& param) { return param.param.name; });

TEST_F(DriverLinkTest, EnsureServiceWritesOnlyItsOwnLine) {
  winsim::FailCall(winsim::Api::OpenServiceW, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DriverLink::EnsureService());
  EXPECT_EQ(TakeLines(), Lines{NoService("0x5")});
  EXPECT_EQ(winsim::CallCount(winsim::Api::CreateServiceW), 0);
  EXPECT_TRUE(DriverLink::EnsureService());
  EXPECT_EQ(TakeLines(), Lines{});
  ExpectHandles(0);
}

TEST_F(DriverLinkTest, AnUnfilledReplyReportsWhateverLastErrorTheThreadHolds) {
  winsim::AddService(
      {.name = u"vantorflt", .displayName = u"vantorflt", .binaryPath = kDefaultDriverPath});
  driver_->SetReplyMode(GuardDriver::ReplyMode::Untouched);
  SetLastError(4321);
  EXPECT_FALSE(DriverLink::Initialize());
  EXPECT_EQ(TakeLines(), Lines{ReplyUntouched(4321)});
  EXPECT_EQ(g_pSharedSlot, nullptr);
  ExpectHandles(0);
}

TEST_F(DriverLinkTest, APartialOrGarbageReplyIsTakenAtItsWord) {
  driver_->SetReplyMode(GuardDriver::ReplyMode::Partial, 2);
  ASSERT_TRUE(DriverLink::Initialize());
  const std::uint32_t lowHalf = driver_->SlotAddress() & 0xFFFFu;
  EXPECT_EQ(TakeLines(), Lines{Connected(lowHalf)});
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(g_pSharedSlot), lowHalf);
  DriverLink::Release();
  DriverLink::BuildDriverPath();

  driver_->SetReplyMode(GuardDriver::ReplyMode::Garbage);
  for (int attempt = 0; attempt < 8; ++attempt) {
    const bool connected = DriverLink::Initialize();
    const std::uint32_t address = driver_->LastReply()->reply.SlotAddress;
    EXPECT_EQ(connected, address != 0);
    // The service runs by now, so the start request left ERROR_SERVICE_ALREADY_RUNNING behind.
    EXPECT_EQ(TakeLines(),
              Lines{address != 0 ? Connected(address) : NoAddress(ERROR_SERVICE_ALREADY_RUNNING)});
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(g_pSharedSlot), address);
    DriverLink::Release();
    DriverLink::BuildDriverPath();
  }
}

TEST_F(DriverLinkTest, TheDriverSeesTheServiceNumberTheProcessIdAndZeroes) {
  struct Case {
    std::vector<BYTE> code;
    DWORD processId;
    std::array<std::uint8_t, 16> request;
  };
  const Case cases[] = {
      {{0xB8, 0x37, 0x00, 0x00, 0x00, 0xC3},
       4242,
       {0x37, 0, 0, 0, 0x92, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {{0xB8, 0x78, 0x56, 0x34, 0x12, 0xC3},
       0x00ABCDEF,
       {0x78, 0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}},
      // The first byte is not looked at: the four after it are copied whatever it is.
      {{0xE9, 0xFF, 0xFF, 0xFF, 0xFF, 0x90},
       1,
       {0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    winsim::SetNtCreateSectionCode(c.code);
    winsim::SetProcessId(c.processId);
    g_InitializeRequest.Reserved[0] = 0xAAAAAAAA;
    g_InitializeRequest.Reserved[1] = 0x55555555;
    ASSERT_TRUE(DriverLink::Initialize());
    EXPECT_EQ(driver_->LastInitializeRequest(), c.request);
    std::array<std::uint8_t, 16> kept{};
    std::memcpy(kept.data(), &g_InitializeRequest, kept.size());
    EXPECT_EQ(kept, c.request);
    DriverLink::Release();
    DriverLink::BuildDriverPath();
  }
}

TEST_F(DriverLinkTest, ReleaseClosesTheDeviceAndEmptiesTheDriverPath) {
  ASSERT_TRUE(DriverLink::Initialize());
  EXPECT_EQ(g_strDriverPath, kDefaultDriverPath);
  winsim::StartJournal();
  DriverLink::Release();
  EXPECT_EQ(JournalMismatch(winsim::TakeJournal(), {"CloseHandle({D})"}), "");
  EXPECT_TRUE(g_strDriverPath.empty());
  ExpectHandles(0);
  EXPECT_EQ(driver_->Stats().closes, 1u);
  DriverLink::Release();  // nothing left to release
  EXPECT_EQ(driver_->Stats().closes, 1u);
  EXPECT_EQ(TakeLines(), Lines{Connected(driver_->SlotAddress())});
}

struct PathCase {
  const char* name;
  std::u16string hostPath;
  std::u16string driverPath;
};

void PrintTo(const PathCase& c, std::ostream* out) {
  *out << c.name;
}

class DriverPathTest : public ::testing::TestWithParam<PathCase> {
 protected:
  void SetUp() override { winsim::Reset(); }
  void TearDown() override {
    DriverLink::Release();
    winsim::ClearFailures();
  }
};

TEST_P(DriverPathTest, IsTheExecutablesDirectoryAndTheDriverFile) {
  winsim::SetHostPath(GetParam().hostPath);
  LogLines log;
  winsim::StartJournal();
  DriverLink::BuildDriverPath();
  EXPECT_EQ(winsim::TakeJournal(), std::vector<std::string>{"GetModuleFileNameW(null, ptr, 260)"});
  EXPECT_EQ(g_strDriverPath, GetParam().driverPath);
  EXPECT_EQ(log.Lines(), Lines{});
}

// 300 characters; its last backslash within the first 259 is the one at index 253.
const std::u16string kLongHostPath = u"C:\\" + std::u16string(250, u'a') + u"\\" +
                                     std::u16string(20, u'b') + u"\\" + std::u16string(16, u'c') +
                                     u"\\host.exe";

INSTANTIATE_TEST_SUITE_P(
    HostPaths, DriverPathTest,
    ::testing::Values(
        PathCase{"Usual", u"C:\\Program Files\\Host\\host.exe", kDefaultDriverPath},
        PathCase{"Root", u"C:\\host.exe", u"C:\\vantorflt.sys"},
        PathCase{"NoBackslash", u"host.exe", u"vantorflt.sys"},
        PathCase{"SlashesDoNotCount", u"C:/Tools/host.exe", u"vantorflt.sys"},
        PathCase{"LongPrefix", u"\\\\?\\D:\\Apps\\host.exe", u"\\\\?\\D:\\Apps\\vantorflt.sys"},
        PathCase{"Empty", u"", u"vantorflt.sys"},
        PathCase{"CutAt260", kLongHostPath, kLongHostPath.substr(0, 254) + u"vantorflt.sys"}),
    [](const ::testing::TestParamInfo<PathCase>& param) { return param.param.name; });

TEST(DriverPath, AFailedModuleQueryLeavesTheBareFileName) {
  winsim::Reset();
  winsim::FailCall(winsim::Api::GetModuleFileNameW, ERROR_INSUFFICIENT_BUFFER);
  DriverLink::BuildDriverPath();
  EXPECT_EQ(g_strDriverPath, u"vantorflt.sys");
  DriverLink::Release();
  winsim::ClearFailures();
}

}  // namespace
