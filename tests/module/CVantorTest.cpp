// CVantor::Start and CVantor::Stop through every state: the lines they log, what they return,
// what reaches the driver, and the one-pump rule.
#include <utility>

#include "ModuleHarness.h"
#include "driverlink/Protocol.h"

// FailingAllocation.cpp: allocations before operator new throws once; negative: never.
extern int g_allocationsBeforeFailure;

namespace {

class CVantorTest : public ModuleHarness {};

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

// A pump thread that cannot be created: no start code, and Stop has nothing to wait for. Memory
// that runs out inside Start or Stop (at the journal line of their first call into the system)
// never leaves the export: the call logs it and returns false, and the next call runs whole.
TEST_F(CVantorTest, NoPumpThreadOrAnExceptionInsideStartOrStop) {
  winsim::StartJournal();
  winsim::FailCall(winsim::Api::CreateThread, ERROR_NOT_ENOUGH_MEMORY);
  for (bool (*call)() : {CVantor::Start, CVantor::Stop}) {
    g_allocationsBeforeFailure = 0;
    EXPECT_FALSE(call());
    EXPECT_EQ(std::exchange(g_allocationsBeforeFailure, -1), -1) << "no allocation failed";
    EXPECT_EQ(call(), call == CVantor::Stop);
    EXPECT_TRUE(g_bInitialized);
    EXPECT_FALSE(*g_hPumpThread);
  }
  EXPECT_EQ(driver->Stats().startCodes, 0u);
  EXPECT_EQ(driver->Stats().stopCodes, 1u);
  EXPECT_EQ(winsim::CallCount(winsim::Api::WaitForSingleObject), 0);
  EXPECT_EQ(Lines(), LineList({"3: VtClient\t Start failed: exception caught.\n",
                               InitializedLine(driver->SlotAddress()),
                               "3: VtClient\t Unable to start ipc thread. Last Error: 0x8\n",
                               "3: VtClient\t Stop failed: exception caught.\n", kStopped}));
}

// A failed start code leaves the pump running: a Start while it is held creates no second pump
// and sends the start code again; Stop ends it.
TEST_F(CVantorTest, FailedStartCodeLeavesThePumpForTheNextStartOrStop) {
  driver->FailCode(IOCTL_GUARD_START, ERROR_GEN_FAILURE, 1);
  EXPECT_FALSE(CVantor::Start());
  EXPECT_EQ(Lines().back(), "3: VtClient\t Start IOCTL failed. Last Error: 31\n");
  EXPECT_EQ(winsim::RunningThreads(), 1);
  ASSERT_TRUE(CVantor::Start()) << "retries the failed start code";
  ASSERT_TRUE(CVantor::Start()) << "re-asserts guarding";
  EXPECT_EQ(winsim::CallCount(winsim::Api::CreateThread), 1);
  EXPECT_EQ(winsim::RunningThreads(), 1);
  EXPECT_EQ(driver->Stats().startCodes, 3u);
  const LineList lines = Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), kStarted), 2);
  EXPECT_TRUE(CVantor::Stop());
  EXPECT_EQ(winsim::RunningThreads(), 0);
}

TEST_F(CVantorTest, FailedStopCodeIsReportedAfterThePumpHasEnded) {
  ASSERT_TRUE(CVantor::Start());
  driver->FailCode(IOCTL_GUARD_STOP, ERROR_GEN_FAILURE, 1);
  EXPECT_FALSE(CVantor::Stop());
  EXPECT_EQ(Lines().back(), "3: VtClient\t Stop IOCTL failed.\n");
  EXPECT_EQ(winsim::RunningThreads(), 0);
  EXPECT_FALSE(*g_hPumpThread);
}

TEST_F(CVantorTest, StartStopStartReusesTheConnectionWithANewPump) {
  ASSERT_TRUE(CVantor::Start());
  ASSERT_TRUE(CVantor::Stop());
  ASSERT_TRUE(CVantor::Start());
  EXPECT_EQ(driver->Stats().initializeCodes, 1u);
  EXPECT_EQ(winsim::CallCount(winsim::Api::CreateFileW), 1);
  EXPECT_EQ(winsim::CallCount(winsim::Api::CreateThread), 2);
  EXPECT_EQ(Lines(),
            LineList({InitializedLine(driver->SlotAddress()), kStarted, kStopped, kStarted}));
  EXPECT_EQ(driver->Launch(u"\\Device\\HarddiskVolume1\\ok.exe").outcome,
            GuardDriver::Outcome::Allowed);
}

}  // namespace
