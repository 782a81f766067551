// The Windows demo host run as a user runs it under Wine: vantor-host.exe loads vantor.dll, whose
// Start installs and starts vantorflt.sys, replays launches through the driver, summarises and
// exits 0. It leaves the service installed (as the module does), which the next run reuses.
#include <fstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "GuardHost.h"

namespace {

struct HostRun {
  DWORD exitCode = 0;
  std::string output;  // standard output and error together
};

// Runs vantor-host.exe from beside this program, in the current folder, and waits for it.
HostRun RunHost(const std::wstring& arguments) {
  ChildProcess host(L"\"" + HostDirectory() + L"vantor-host.exe\" " + arguments);
  EXPECT_TRUE(host.Started()) << GetLastError();
  const DWORD exitCode = host.Finish();
  return {exitCode, host.Output()};
}

class DemoHost : public ::testing::Test {
 protected:
  void SetUp() override { RemoveGuardService(); }
  void TearDown() override { RemoveGuardService(); }
};

TEST_F(DemoHost, JudgesTheBuiltInSetAsOnLinuxAndFilesThroughTheDriverAlreadyLoaded) {
  std::ofstream("demo-policy.txt") << "deny *\\blocked*\n";
  std::ofstream("demo-launches.txt") << "\\Device\\HarddiskVolume1\\Tools\\ok.exe\n"
                                        "\\Device\\HarddiskVolume1\\Tools\\blocked.exe\n";
  struct Row {
    const wchar_t* arguments;
    std::vector<std::string> says;
  };
  const Row rows[] = {
      {L"--threads 2",
       {" \\Device\\CdRom0\\setup.exe  [line 5: deny \\Device\\CdRom*]",
        " C:\\Windows\\explorer.exe  [line 6: allow C:\\Windows\\*]",
        "summary: 11 launches: 7 allowed, 4 denied, 0 let through, 0 timed out, 0 refused\n",
        "driver: 11 parked in the record, 0 late verdicts"}},
      // The second run finds the service and the driver from the first: its counts are its own.
      {L"--policy demo-policy.txt --launches demo-launches.txt --count 6 --threads 3 --json",
       {"\"launches\":6,\"allowed\":3,\"denied\":3,\"let_through\":0,\"timed_out\":0,"
        "\"refused\":0,",
        "\"driver\":\"6 parked in the record, 0 late verdicts"}},
  };
  for (const Row& row : rows) {
    const HostRun run = RunHost(row.arguments);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    for (const std::string& text : row.says)
      EXPECT_NE(run.output.find(text), std::string::npos) << text << "\n" << run.output;
    EXPECT_EQ(run.output.find("wine: Unhandled"), std::string::npos) << run.output;
  }
  DeleteFileW(L"demo-policy.txt");
  DeleteFileW(L"demo-launches.txt");
}

}  // namespace
