// CVantor::Start and CVantor::Stop through every state: the lines they log, what they return,
// what reaches the driver, and the one-pump rule.
#include "ModuleHarness.h"
#include "driverlink/Protocol.h"

namespace {

using LineList = std::vector<std::string>;
const std::string kStarted = "1: VtClient\t Started.\n";
const std::string kStopped = "1: VtClient\t Stopped.\n";
const std::string kNotInitialized = "2: VtClient\t Stop. Driver is not even initialized.\n";
const std::string kUnableToInitialize = "3: VtClient\t Unable to initialize driver.\n";

class CVantorTest : public ModuleHarness {};

TEST_F(CVantorTest, StopBeforeAnyStartWarnsAndSendsNothing) {
  EXPECT_TRUE(CVantor::Stop());
  EXPECT_EQ(Lines(), LineList({kNotInitialized}));
  EXPECT_EQ(winsim::CallCount(winsim::Api::DeviceIoControl), 0);
  EXPECT_EQ(winsim::CallCount(winsim::Api::WaitForSingleObject), 0);
}

TEST_F(CVantorTest, StartConnectsStartsThePumpAndGuards) {
  ASSERT_TRUE(CVantor::Start());
  EXPECT_EQ(Lines(), LineList({InitializedLine(*driver), kStarted}));
  EXPECT_TRUE(g_bInitialized);
  EXPECT_TRUE(g_hPumpThread);
  EXPECT_TRUE(driver->Guarding());
  EXPECT_EQ(winsim::RunningThreads(), 1);

  EXPECT_TRUE(CVantor::Stop());
  EXPECT_EQ(Lines(), LineList({InitializedLine(*driver), kStarted, kStopped}));
  EXPECT_FALSE(g_hPumpThread);
  EXPECT_FALSE(driver->Guarding());
  EXPECT_TRUE(g_bInitialized) << "Stop keeps the connection";
  EXPECT_TRUE(g_hDevice) << "Stop keeps the device open";
}

TEST_F(CVantorTest, FailedInitialisationLogsCauseThenStartLineAndRetriesEverything) {
  winsim::FailCall(winsim::Api::CreateFileW, ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(CVantor::Start());
  EXPECT_EQ(Lines(),
            LineList({"3: VtClient\t Unable to open guard device driver.\n", kUnableToInitialize}));
  EXPECT_FALSE(g_bInitialized);
  EXPECT_EQ(winsim::CallCount(winsim::Api::CreateThread), 0);

  EXPECT_TRUE(CVantor::Stop()) << "no connection: nothing to stop";
  ASSERT_TRUE(CVantor::Start()) << "the next Start runs the whole initialisation again";
  EXPECT_EQ(winsim::CallCount(winsim::Api::OpenSCManagerW), 2);
  EXPECT_EQ(winsim::CallCount(winsim::Api::CreateFileW), 2);
  EXPECT_EQ(Lines().back(), kStarted);
}

TEST_F(CVantorTest, ThreadCreationFailureSendsNoStartCodeAndStopWaitsForNothing) {
  winsim::FailCall(winsim::Api::CreateThread, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_FALSE(CVantor::Start());
  EXPECT_EQ(Lines(), LineList({InitializedLine(*driver),
                               "3: VtClient\t Unable to start ipc thread. Last Error: 0x8\n"}));
  EXPECT_TRUE(g_bInitialized);
  EXPECT_FALSE(g_hPumpThread);
  EXPECT_EQ(driver->Stats().startCodes, 0u);

  EXPECT_TRUE(CVantor::Stop());
  EXPECT_EQ(winsim::CallCount(winsim::Api::WaitForSingleObject), 0);
  EXPECT_EQ(driver->Stats().stopCodes, 1u);
  EXPECT_EQ(Lines().back(), kStopped);
}

TEST_F(CVantorTest, FailedStartCodeLeavesThePumpRunningUntilStop) {
  driver->FailCode(IOCTL_GUARD_START, ERROR_GEN_FAILURE, 1);
  EXPECT_FALSE(CVantor::Start());
  EXPECT_EQ(Lines().back(), "3: VtClient\t Start IOCTL failed. Last Error: 31\n");
  EXPECT_TRUE(g_hPumpThread);
  EXPECT_EQ(winsim::RunningThreads(), 1);

  EXPECT_TRUE(CVantor::Stop());
  EXPECT_EQ(winsim::RunningThreads(), 0);
  EXPECT_EQ(Lines().back(), kStopped);
}

TEST_F(CVantorTest, StartWhileAPumpIsHeldCreatesNoSecondPumpAndResendsTheStartCode) {
  driver->FailCode(IOCTL_GUARD_START, ERROR_GEN_FAILURE, 1);
  EXPECT_FALSE(CVantor::Start());
  ASSERT_TRUE(CVantor::Start()) << "retries the failed start code";
  ASSERT_TRUE(CVantor::Start()) << "re-asserts guarding";
  EXPECT_EQ(winsim::CallCount(winsim::Api::CreateThread), 1);
  EXPECT_EQ(winsim::RunningThreads(), 1);
  EXPECT_EQ(driver->Stats().startCodes, 3u);
  const LineList lines = Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), kStarted), 2);
}

TEST_F(CVantorTest, FailedStopCodeIsReportedAfterThePumpHasEnded) {
  ASSERT_TRUE(CVantor::Start());
  driver->FailCode(IOCTL_GUARD_STOP, ERROR_GEN_FAILURE, 1);
  EXPECT_FALSE(CVantor::Stop());
  EXPECT_EQ(Lines().back(), "3: VtClient\t Stop IOCTL failed.\n");
  EXPECT_EQ(winsim::RunningThreads(), 0);
  EXPECT_FALSE(g_hPumpThread);
}

TEST_F(CVantorTest, SecondStopWaitsForNothingAndSendsTheStopCodeAgain) {
  ASSERT_TRUE(CVantor::Start());
  ASSERT_TRUE(CVantor::Stop());
  const int waits = winsim::CallCount(winsim::Api::WaitForSingleObject);
  EXPECT_TRUE(CVantor::Stop());
  EXPECT_EQ(winsim::CallCount(winsim::Api::WaitForSingleObject), waits);
  EXPECT_EQ(driver->Stats().stopCodes, 2u);
  EXPECT_EQ(Lines().back(), kStopped);
}

TEST_F(CVantorTest, StartStopStartReusesTheConnectionWithANewPump) {
  ASSERT_TRUE(CVantor::Start());
  ASSERT_TRUE(CVantor::Stop());
  ASSERT_TRUE(CVantor::Start());
  EXPECT_EQ(driver->Stats().initializeCodes, 1u);
  EXPECT_EQ(winsim::CallCount(winsim::Api::CreateFileW), 1);
  EXPECT_EQ(winsim::CallCount(winsim::Api::CreateThread), 2);
  EXPECT_EQ(Lines(), LineList({InitializedLine(*driver), kStarted, kStopped, kStarted}));
  EXPECT_EQ(driver->Launch(u"\\Device\\HarddiskVolume1\\ok.exe").outcome,
            GuardDriver::Outcome::Allowed);
}

// The host thread's platform calls, in order and with their arguments. Handles (first
// arguments) and addresses vary between runs and are masked; the pump thread's own calls
// interleave at random and are left out.
std::vector<std::string> HostThreadCalls(std::vector<std::string> journal) {
  std::vector<std::string> calls;
  for (std::string& line : journal) {
    if (line.starts_with("LoadLibraryW") || line.find("Wow64") != std::string::npos ||
        line.starts_with("GetModuleHandleExW(0x6") || line.starts_with("Sleep"))
      continue;
    if (const auto open = line.find("(0x"); open != std::string::npos)
      line.replace(open + 1, line.find_first_of(",)", open) - open - 1, "h");
    calls.push_back(line);
  }
  return calls;
}

TEST_F(CVantorTest, StartAndStopCallThePlatformWithTheExactArguments) {
  winsim::StartJournal();
  ASSERT_TRUE(CVantor::Start());
  ASSERT_TRUE(CVantor::Stop());
  EXPECT_EQ(HostThreadCalls(winsim::TakeJournal()),
            LineList({
                "OpenSCManagerW(null, null, 0xf003f)",
                "OpenServiceW(h, vantorflt, 0xf01ff)",
                "CreateServiceW(h, vantorflt, vantorflt, 0x30, 1, 3, 1, "
                "C:\\Apps\\Host\\vantorflt.sys, null, null, null, null, null)",
                "StartServiceW(h, 0, null)",
                "CloseServiceHandle(h)",
                "CloseServiceHandle(h)",
                "CreateFileW(\\\\.\\VANTORFLT, 0xc0000000, 0, null, 3, 0x4, null)",
                "GetModuleHandleW(ntdll.dll)",
                "GetProcAddress(h, NtCreateSection)",
                "DeviceIoControl(h, 0x22e002, ptr, 16, ptr, 16, ptr, null)",
                "GetModuleHandleExW(h, ptr, ptr)",
                "CreateThread(null, 0, ptr, null, 0, ptr)",
                "DeviceIoControl(h, 0x22e007, null, 0, null, 0, ptr, null)",
                "WaitForSingleObject(h, INFINITE)",
                "CloseHandle(h)",
                "DeviceIoControl(h, 0x22e00b, null, 0, null, 0, ptr, null)",
            }));
}

}  // namespace
