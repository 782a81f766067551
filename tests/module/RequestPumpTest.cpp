// The request pump end to end: launches through the guard driver stand-in, answered with the
// scanner's verdicts through the shared record.
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "ModuleHarness.h"
#include "requests/RequestPump.h"

namespace {

using Outcome = GuardDriver::Outcome;

std::u16string Query(int index) {
  const ArbiterChar* text = ArbiterQuery(index);
  return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : u"<none>";
}

class RequestPumpTest : public ModuleHarness {
 protected:
  void StartGuarding() { ASSERT_TRUE(CVantor::Start()); }
  Outcome Launch(std::u16string_view path) { return driver->Launch(path).outcome; }
  void ExpectRecordHandedBack() {
    EXPECT_EQ(std::atomic_ref(driver->Slot()->Pending).load(), 0u);
    const auto stats = driver->Stats();
    EXPECT_EQ(stats.strangeVerdicts, 0u) << "Verdict must be exactly 0 or 1";
    EXPECT_EQ(stats.timedOut, 0u);
  }
};

TEST_F(RequestPumpTest, VolumeMountedAfterLoadConvertsAfterOneRebuild) {
  StartGuarding();
  winsim::AddDrive(u'E', {u"\\Device\\HarddiskVolume7"});
  const int listCalls = winsim::CallCount(winsim::Api::GetLogicalDriveStringsW);
  EXPECT_EQ(Launch(u"\\Device\\HarddiskVolume7\\new.exe"), Outcome::Allowed);
  EXPECT_EQ(Query(0), u"E:\\new.exe");
  EXPECT_EQ(winsim::CallCount(winsim::Api::GetLogicalDriveStringsW), listCalls + 2);
  // Now covered: no further rebuild.
  EXPECT_EQ(Launch(u"\\Device\\HarddiskVolume7\\again.exe"), Outcome::Allowed);
  EXPECT_EQ(winsim::CallCount(winsim::Api::GetLogicalDriveStringsW), listCalls + 2);
}

TEST_F(RequestPumpTest, StopWhileAVerdictIsWorkedOutAnswersTheRequestFirst) {
  StartGuarding();
  struct Gate {
    std::mutex lock;
    std::condition_variable changed;
    bool entered = false;
    bool open = false;
  } gate;
  ArbiterSetHook(
      [](const ArbiterChar*, void* context) {
        auto& g = *static_cast<Gate*>(context);
        std::unique_lock lock(g.lock);
        g.entered = true;
        g.changed.notify_all();
        g.changed.wait(lock, [&] { return g.open; });
        return false;
      },
      &gate);
  std::thread launch(
      [&] { EXPECT_EQ(Launch(u"\\Device\\HarddiskVolume1\\a.exe"), Outcome::Denied); });
  {
    std::unique_lock lock(gate.lock);
    gate.changed.wait(lock, [&] { return gate.entered; });
  }
  std::thread stop([] { EXPECT_TRUE(CVantor::Stop()); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(driver->Stats().stopCodes, 0u) << "the stop code waits for the pump";
  {
    std::lock_guard lock(gate.lock);
    gate.open = true;
  }
  gate.changed.notify_all();
  launch.join();
  stop.join();
  ArbiterSetHook(nullptr, nullptr);
  EXPECT_EQ(driver->Stats().stopCodes, 1u);
  ExpectRecordHandedBack();
}

// A pump started with the stop flag set serves nothing. Otherwise a parked request (any non-zero
// Pending) is served at once, and no sleep follows: the scanner sets the stop flag, so the thread
// ends right after that pass. The second pump runs without the Wow64 function.
TEST_F(RequestPumpTest, FoundRequestIsServedWithoutAnIdleSleepAndAStopFlagSetFirstServesNone) {
  for (const bool stopFirst : {true, false}) {
    SCOPED_TRACE(stopFirst);
    alignas(8) std::uint8_t record[128] = {};
    auto* slot = reinterpret_cast<SharedSlot*>(record);
    const char16_t path[] = u"\\Device\\HarddiskVolume1\\a.exe";
    std::memcpy(record + offsetof(SharedSlot, ImagePath), path, sizeof path);
    slot->Pending = 0x80000002;
    g_pSharedSlot = slot;
    g_bStopPump = stopFirst;
    winsim::SetWow64RedirectionPresent(stopFirst);
    ArbiterSetHook([](const ArbiterChar*, void*) { return g_bStopPump = true; }, nullptr);
    const int sleeps = winsim::CallCount(winsim::Api::Sleep);
    const UniqueHandle pump(CreateThread(nullptr, 0, RequestPump, nullptr, 0, nullptr));
    if (WaitForSingleObject(pump.get(), 5000) == WAIT_TIMEOUT) g_bStopPump = true;  // not served
    WaitForSingleObject(pump.get(), INFINITE);
    EXPECT_EQ(slot->Pending, stopFirst ? 0x80000002u : 0u);
    EXPECT_EQ(slot->Verdict, stopFirst ? 0u : 1u);
    EXPECT_EQ(ArbiterQueryCount(), stopFirst ? 0 : 1);
    EXPECT_EQ(winsim::CallCount(winsim::Api::Sleep), sleeps);
  }
  EXPECT_EQ(Query(0), u"C:\\a.exe");
  EXPECT_EQ(winsim::Wow64RedirectionCalls(), 1);
}

// A scanner that throws (anything) has allowed nothing: the launch is denied, the pump serves on.
TEST_F(RequestPumpTest, ScannerThatThrowsDeniesTheLaunchAndThePumpServesOn) {
  StartGuarding();
  for (const ArbiterHook thrower :
       {+[](const ArbiterChar*, void*) -> bool { throw std::runtime_error("scanner"); },
        +[](const ArbiterChar*, void*) -> bool { throw 7; }}) {
    ArbiterSetHook(thrower, nullptr);
    EXPECT_EQ(Launch(u"\\Device\\HarddiskVolume1\\a.exe"), Outcome::Denied);
    ArbiterSetHook(nullptr, nullptr);
    EXPECT_EQ(Launch(u"\\Device\\HarddiskVolume1\\a.exe"), Outcome::Allowed);
  }
  ExpectRecordHandedBack();
}

// An idle pass costs one look at Pending and a 10 ms sleep, never a busy loop.
TEST_F(RequestPumpTest, IdlePassesSleepTenMillisecondsEach) {
  winsim::StartJournal();
  StartGuarding();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (winsim::CallCount(winsim::Api::Sleep) < 3 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  ASSERT_TRUE(CVantor::Stop());
  std::vector<std::string> sleeps = winsim::TakeJournal();
  std::erase_if(sleeps, [](const std::string& line) { return !line.starts_with("Sleep"); });
  EXPECT_GE(sleeps.size(), 3u);
  EXPECT_EQ(sleeps, std::vector<std::string>(sleeps.size(), "Sleep(10)"));
}

}  // namespace
