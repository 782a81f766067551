// The driver link against winsim's service manager and devices, with the driver stand-in as the
// image "vantorflt.sys": the lines each attempt writes, the handles it leaves, the service it
// creates or finds, the driver path and the handshake request as the driver sees it.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "GuardDriver.h"
#include "driverlink/DriverLink.h"
#include "log/LogLines.h"
#include "module/ModuleState.h"
#include "winsim/Control.h"

namespace {

using winsim::Api;
using winsim::HandleKind;

const std::string kError = "3: VtClient\t ";
const std::string kNoInstall = kError + "Unable to install driver service.\n";
const std::string kNoDevice = kError + "Unable to open guard device driver.\n";
const std::string kConnected = "1: VtClient\t Initialized, shared buffer ptr: {address}\n";
const std::u16string kHostDriverPath = u"C:\\Program Files\\Host\\vantorflt.sys";

class DriverLinkTest : public ::testing::Test {
 protected:
  DriverLinkTest() { CreateModuleObjects(); }
  ~DriverLinkTest() override { DestroyModuleObjects(); }
  void SetUp() override { Fresh(); }

  // A fresh machine with the driver image registered, the driver path built, the log captured.
  // Seed 1: the stand-in's first garbage reply carries an address with its top bit set.
  void Fresh() {
    DriverLink::Release();
    winsim::Reset();
    driver_ = InstallGuardDriver({.seed = 1});
    DriverLink::BuildDriverPath();
    baseline_ = OpenHandles();
    capture_.emplace();
  }

  static std::array<int, 3> OpenHandles() {
    return {winsim::OpenHandleCount(HandleKind::ServiceManager),
            winsim::OpenHandleCount(HandleKind::Service),
            winsim::OpenHandleCount(HandleKind::Device)};
  }

  // No service-manager or service handle left open, and `devices` device handles: the module's.
  void ExpectHandles(int devices) const {
    EXPECT_EQ(OpenHandles(), (std::array{baseline_[0], baseline_[1], baseline_[2] + devices}));
    EXPECT_EQ(g_hDevice->valid(), devices == 1);
  }

  // The lines logged since the last call, joined; "{address}" in `want` stands for the
  // stand-in's record address as a signed decimal, "{address+2}" for two bytes past it.
  void ExpectLines(std::string want) {
    for (const std::uint32_t offset : {0u, 2u}) {
      const std::string name = offset == 0 ? "{address}" : "{address+2}";
      const std::int32_t address = static_cast<std::int32_t>(driver_->SlotAddress() + offset);
      if (const auto at = want.find(name); at != std::string::npos)
        want.replace(at, name.size(), std::to_string(address));
    }
    std::string got;
    for (const std::string& line : LogLines(*capture_)) got += line;
    EXPECT_EQ(got, want);
    capture_.emplace();
  }

  std::shared_ptr<GuardDriver> driver_;
  std::optional<SinkCapture> capture_;
  std::array<int, 3> baseline_{};
};

TEST_F(DriverLinkTest, EachOutcomeWritesItsLinesKeepsOnlyItsHandlesAndFailuresAreRetriedWhole) {
  using Mode = GuardDriver::ReplyMode;
  struct Attempt {
    Api failing;  // fails once with `error`; Api::Count: none
    DWORD error;
    Mode reply;
    bool connects;
    std::string lines;
  };
  const Attempt attempts[] = {
      {Api::OpenSCManagerW, 5, Mode::Normal, false,
       kError + "Unable to open ServiceManager.\n" + kNoInstall},
      {Api::OpenServiceW, 5, Mode::Normal, false,
       kError + "Unable to open driver service, err: 0x5\n" + kNoInstall},
      // A service marked for deletion is not created anew either.
      {Api::OpenServiceW, 1072, Mode::Normal, false,
       kError + "Unable to open driver service, err: 0x430\n" + kNoInstall},
      {Api::CreateServiceW, 5, Mode::Normal, false,
       kError + "Unable to create service for driver.\n" + kNoInstall},
      {Api::CreateFileW, 2, Mode::Normal, false, kNoDevice},
      {Api::DeviceIoControl, 31, Mode::Normal, false,
       kError + "Initialize failure, Last error: 31\n"},
      // The thread's last error is still the one the absent service's open left behind.
      {Api::Count, 0, Mode::Untouched, false,
       kError + "Initialize failure, driver did not fill output buffer with shared ptr, "
                "last error: 1060\n"},
      {Api::Count, 0, Mode::ZeroAddress, false,
       kError + "Initialize failure, failure to get shared buffer ptr, last error: 1060\n"},
      {Api::Count, 0, Mode::Misaligned, false,
       kError + "Initialize failure, shared buffer ptr {address+2} is not 4-byte aligned.\n"},
      // ntdll without NtCreateSection.
      {Api::GetProcAddress, 127, Mode::Normal, false,
       kError + "Unable to find NtCreateSection in ntdll, last error: 127\n"},
      {Api::Count, 0, Mode::Normal, true, kConnected},
      // The garbage reply's address is 0x8E9A4E68: negative as a signed 32-bit number.
      {Api::Count, 0, Mode::Garbage, true,
       "1: VtClient\t Initialized, shared buffer ptr: -1902490008\n"},
  };
  for (const Attempt& attempt : attempts) {
    SCOPED_TRACE(attempt.lines);
    Fresh();
    if (attempt.failing != Api::Count) winsim::FailCall(attempt.failing, attempt.error);
    driver_->SetReplyMode(attempt.reply);
    EXPECT_EQ(DriverLink::Initialize(), attempt.connects);
    ExpectLines(attempt.lines);
    ExpectHandles(attempt.connects ? 1 : 0);
    if (attempt.connects) continue;

    driver_->SetReplyMode(Mode::Normal);
    EXPECT_TRUE(DriverLink::Initialize());
    ExpectLines(kConnected);
    ExpectHandles(1);
    EXPECT_EQ(winsim::CallCount(Api::OpenSCManagerW), 2);
    EXPECT_EQ(g_pSharedSlot, driver_->Slot());
  }
}

auto Fields(const winsim::ServiceConfig& s) {
  return std::tuple(s.name, s.displayName, s.type, s.startType, s.errorControl, s.binaryPath,
                    s.running, s.loadOrderGroup, s.dependencies, s.serviceStartName, s.password);
}

TEST_F(DriverLinkTest, CreatesAnAbsentServiceAndUsesAPresentOneAsItIsConfigured) {
  const winsim::ServiceConfig created{.name = u"vantorflt",
                                      .displayName = u"vantorflt",
                                      .type = 1,
                                      .startType = 3,
                                      .errorControl = 1,
                                      .binaryPath = kHostDriverPath};
  struct Case {
    const char* name;
    std::optional<winsim::ServiceConfig> present;
    bool startedBefore;  // the service already runs when the attempt begins
    bool connects;       // the service then runs the stand-in's image and the device opens
  };
  const Case cases[] = {
      {"absent", std::nullopt, false, true},
      {"present and stopped",
       winsim::ServiceConfig{.name = u"vantorflt",
                             .displayName = u"Vantor guard",
                             .startType = 2,
                             .binaryPath = u"D:\\Drivers\\VANTORFLT.SYS"},
       false, true},
      {"already running", std::nullopt, true, true},
      {"another driver file",
       winsim::ServiceConfig{.name = u"vantorflt", .binaryPath = u"C:\\Drivers\\other.sys"}, false,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    if (c.present) winsim::AddService(*c.present);
    if (c.startedBefore) {
      ASSERT_TRUE(DriverLink::EnsureService());
    }
    EXPECT_EQ(DriverLink::Initialize(), c.connects);
    ExpectLines(c.connects ? kConnected : kNoDevice);
    winsim::ServiceConfig want = c.present.value_or(created);
    want.running = c.connects;
    EXPECT_EQ(Fields(winsim::FindService(u"vantorflt").value_or(winsim::ServiceConfig{})),
              Fields(want));
    EXPECT_EQ(driver_->Stats().loads, c.connects ? 1u : 0u);
  }
}

TEST_F(DriverLinkTest, DriverPathIsTheExecutablesDirectoryAndTheDriverFile) {
  // 300 characters with backslashes at indexes 258 and 259: the 259 kept end at the first.
  const std::u16string longPath =
      u"C:\\" + std::u16string(255, u'a') + u"\\\\" + std::u16string(40, u'b') + u"\\host.exe";
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"C:\\Program Files\\Host\\host.exe", kHostDriverPath},
      {u"host.exe", u"vantorflt.sys"},
      {longPath, longPath.substr(0, 259) + u"vantorflt.sys"},
  };
  for (const auto& [host, driverPath] : cases) {
    winsim::SetHostPath(host);
    DriverLink::BuildDriverPath();
    EXPECT_EQ(*g_strDriverPath, driverPath);
  }
}

// The four bytes after "mov eax" are the service number; a stub that begins with anything else
// (here a patched-in jump) has none, and the handshake is not attempted.
TEST_F(DriverLinkTest, TheDriverSeesTheServiceNumberTheProcessIdAndTwoZeroWords) {
  winsim::SetNtCreateSectionCode(std::vector<BYTE>{0xE9, 0x78, 0x56, 0x34, 0x12, 0xC3});
  EXPECT_FALSE(DriverLink::Initialize());
  ExpectLines(kError +
              "NtCreateSection in ntdll does not begin as expected, no service number "
              "to hand over.\n");
  ExpectHandles(0);
  EXPECT_EQ(driver_->Stats().initializeCodes, 0u);

  winsim::SetNtCreateSectionCode(std::vector<BYTE>{0xB8, 0x78, 0x56, 0x34, 0x12, 0xC3});
  winsim::SetProcessId(0x00ABCDEF);
  g_InitializeRequest.Reserved[0] = g_InitializeRequest.Reserved[1] = 0xAAAAAAAA;
  ASSERT_TRUE(DriverLink::Initialize());
  EXPECT_EQ(driver_->LastInitializeRequest(),
            (std::array<std::uint8_t, 16>{0x78, 0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB, 0}));
}

}  // namespace
