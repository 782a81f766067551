// The module among partners built the Visual C++ way (standins/msvc: clang-cl and lld-link, no
// runtime of their own): msvc-host.exe calls Start and Stop through the names its compiler
// decorates, and the vantor.dll beside it binds to that folder's Arbiter.dll, which throws real
// C++ exceptions through the system's msvcrt.dll, and Basalt.dll, which prints the log.
#include <regex>
#include <string>

#include "ChildProcess.h"
#include "GuardHost.h"

namespace {

TEST(MsvcPartners, AThrowIsDeniedAfterItsUnwindRanTheCleanupAndThePumpServesOn) {
  RemoveGuardService();
  ChildProcess host(L"\"" + HostDirectory() + L"msvc\\msvc-host.exe\"");
  ASSERT_TRUE(host.ReadUntil("host: Start ")) << host.Output();
  std::uint64_t record = 0;
  {
    const LaunchClient driver;
    const std::u16string c = DeviceOfDrive(L"C:");
    for (const std::u16string name : {u"throw", u"ok", u"fault", u"raise", u"ok", u"overflow",
                                      u"overflow", u"deny", u"throw", u"ok"}) {
      EXPECT_EQ(driver.Launch(c + u"\\" + name + u".exe"),
                name == u"ok" ? LaunchOutcome::Allowed : LaunchOutcome::Denied)
          << std::string(name.begin(), name.end());
    }
    record = driver.Counters().value_or(GuardCounters{}).recordAddress;
  }
  EXPECT_EQ(host.Finish(), 0u) << host.Output();
  EXPECT_EQ(std::regex_replace(host.Output(), std::regex(R"(\[\d\d:\d\d\] )"), ""),
            InitializedLine(static_cast<std::uint32_t>(record)) + kStarted + "host: Start true\n" +
                kStopped + "host: Stop true\nhost: operator= returns its object true\n" +
                "host: cleanups the scanner's unwinds ran: 2\n");
  RemoveGuardService();
}

}  // namespace
