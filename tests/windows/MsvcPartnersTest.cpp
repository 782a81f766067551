// The module among partners built the Visual C++ way (standins/msvc: clang-cl and lld-link, no
// runtime of their own): msvc-host.exe calls Start and Stop through the names its compiler
// decorates, and the vantor.dll beside it binds to that folder's Arbiter.dll, which throws real
// C++ exceptions through the system's msvcrt.dll, and Basalt.dll, which prints the log.
#include <string>

#include "ChildProcess.h"
#include "GuardHost.h"

namespace {

// The output's lines, each log line without its time stamp "[HH:MM] ".
LineList LinesOf(const std::string& output) {
  LineList lines;
  for (std::size_t at = 0, end = 0; at < output.size(); at = end) {
    end = std::min(output.find('\n', at), output.size() - 1) + 1;
    const std::string line = output.substr(at, end - at);
    lines.push_back(line.size() > 8 && line[0] == '[' && line[6] == ']' ? line.substr(8) : line);
  }
  return lines;
}

TEST(MsvcPartners, AThrowIsDeniedAfterItsUnwindRanTheCleanupAndThePumpServesOn) {
  RemoveGuardService();
  ChildProcess host(L"\"" + HostDirectory() + L"msvc\\msvc-host.exe\"");
  ASSERT_TRUE(host.ReadUntil("host: Start ")) << host.Output();
  std::uint64_t record = 0;
  {
    const LaunchClient driver;
    ASSERT_TRUE(driver.IsOpen());
    const std::u16string c = DeviceOfDrive(L"C:");
    const struct {
      const char16_t* name;
      LaunchOutcome outcome;
    } rows[] = {
        {u"throw.exe", LaunchOutcome::Denied}, {u"ok.exe", LaunchOutcome::Allowed},
        {u"fault.exe", LaunchOutcome::Denied}, {u"ok.exe", LaunchOutcome::Allowed},
        {u"deny.exe", LaunchOutcome::Denied},  {u"throw.exe", LaunchOutcome::Denied},
        {u"ok.exe", LaunchOutcome::Allowed},
    };
    for (const auto& row : rows) {
      EXPECT_EQ(driver.Launch(c + u"\\" + row.name), row.outcome)
          << reinterpret_cast<const wchar_t*>(row.name);
    }
    record = driver.Counters().value_or(GuardCounters{}).recordAddress;
  }
  EXPECT_EQ(host.Finish(), 0u) << host.Output();
  EXPECT_EQ(
      LinesOf(host.Output()),
      (LineList{InitializedLine(static_cast<std::uint32_t>(record)), kStarted, "host: Start true\n",
                kStopped, "host: Stop true\n", "host: operator= returns its object true\n",
                "host: cleanups the scanner's unwinds ran: 2\n"}));
  RemoveGuardService();
}

}  // namespace
