// A driver that misbehaves: paths with no terminator up to the guard page, lone surrogates,
// refused, partial and garbage handshake replies, start and stop codes failing at random. The
// module answers or refuses cleanly, logs exactly what happened and keeps no handle.
#include "Stress.h"
#include "requests/RequestPump.h"

namespace {

using namespace std::string_literals;
using ReplyMode = GuardDriver::ReplyMode;
constexpr std::u16string_view kVolume1 = u"\\Device\\HarddiskVolume1";

class HostileDriverTest : public ModuleHarness {
 protected:
  // One launch: the scanner was asked `scanned`, once, and its answer is the outcome.
  void ExpectServed(std::u16string_view kernel, const std::u16string& scanned) {
    ArbiterClearQueries();
    const Outcome outcome = driver->Launch(kernel).outcome;
    ASSERT_EQ(ArbiterQueryCount(), 1);
    EXPECT_TRUE(Query(0) == scanned) << "the scanner saw other text";
    const bool allowed = ArbiterEvaluate(reinterpret_cast<const ArbiterChar*>(scanned.c_str()));
    EXPECT_EQ(outcome, allowed ? Outcome::Allowed : Outcome::Denied);
  }
};

// Lone surrogates pass through conversion unchanged, also in a device name; the first zero unit
// ends a path. A path of the longest length is served whole; a record with no zero unit up to the
// guard page (the driver repeats the pattern over the whole path area) is denied unasked.
TEST_F(HostileDriverTest, PathsReachTheScannerExactly) {
  winsim::AddDrive(u'S', {u"\\Device\\Vol\xDC00"});
  ASSERT_TRUE(CVantor::Start());
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"\\Device\\HarddiskVolume1\\a\xD800.exe", u"C:\\a\xD800.exe"},
      {u"\\Device\\HarddiskVolume1\\\xDC00\xD800\\blocked", u"C:\\\xDC00\xD800\\blocked"},
      {u"\\Device\\Vol\xDC00\\blocked\xDBFF", u"S:\\blocked\xDBFF"},
      {u"\\Device\\Vol\xDC01\\x.exe", u"\\Device\\Vol\xDC01\\x.exe"},  // no drive: as it came
      {u"\\??\\C:\\\xDFFF.exe", u"C:\\\xDFFF.exe"},
      {u"\\Device\\HarddiskVolume1\\ok.exe\0\\blocked.exe"s, u"C:\\ok.exe"},
      {u"\0\\Device\\HarddiskVolume1\\blocked.exe"s, u""}};
  for (const auto& [kernel, scanned] : cases) ExpectServed(kernel, scanned);

  driver->SetPathMode(GuardDriver::PathMode::Overlong, kMaxImagePathUnits);
  const std::u16string longest = u"\\Device\\HarddiskVolume1\\blocked";
  std::u16string scanned = u"C:\\blocked\\" + std::u16string(kMaxImagePathUnits, u'x');
  scanned.resize(kMaxImagePathUnits - kVolume1.size() + 2);
  ExpectServed(longest, scanned);

  driver->SetPathMode(GuardDriver::PathMode::Unterminated);
  for (std::u16string_view pattern :
       {u"\\Device\\Mup\\server\\a.exe", u"\\Device\\HarddiskVolume1\\ok\\", u"\xDC00\xD800"}) {
    ArbiterClearQueries();
    EXPECT_EQ(driver->Launch(pattern).outcome, Outcome::Denied);
    EXPECT_EQ(ArbiterQueryCount(), 0);
    const std::u16string_view area(driver->Slot()->ImagePath, GuardDriver::kPathAreaUnits);
    EXPECT_EQ(area.find(u'\0'), area.npos);  // the premise: no zero up to the guard page
  }
}

// The module judges the 16 bytes the driver wrote: none, a zero SlotAddress or a misaligned one
// refuse the handshake with the cause logged and no device handle kept; any other address is
// taken at its word (the module trusts the driver's address).
TEST_F(HostileDriverTest, HandshakeRepliesAreJudgedByTheirBytes) {
  ASSERT_TRUE(DriverLink::Initialize());  // starts the service: later attempts find it running
  g_hDevice.reset();
  g_pSharedSlot = nullptr;
  const int devices = winsim::OpenHandleCount(winsim::HandleKind::Device);
  const std::string cause = "3: VtClient\t Initialize failure, ";
  const std::string error = ", last error: " + std::to_string(ERROR_SERVICE_ALREADY_RUNNING) + "\n";
  const std::string unfilled = cause + "driver did not fill output buffer with shared ptr" + error;
  const std::string noAddress = cause + "failure to get shared buffer ptr" + error;
  auto attempt = [&](ReplyMode mode, std::size_t bytes, std::string line) {
    driver->SetReplyMode(mode, bytes);
    capture.reset();  // before the new capture, whose start the old one's end would undo
    capture = std::make_unique<SinkCapture>();
    const bool connected = DriverLink::Initialize();
    const std::uint32_t address = driver->LastReply()->reply.SlotAddress;
    const std::string shown = std::to_string(static_cast<std::int32_t>(address));
    if (line.empty())  // garbage, never all zero
      line = address == 0       ? noAddress
             : address % 4 != 0 ? cause + "shared buffer ptr " + shown + " is not 4-byte aligned.\n"
                                : "1: VtClient\t Initialized, shared buffer ptr: " + shown + "\n";
    EXPECT_EQ(Lines(), LineList{line});
    EXPECT_EQ(connected, line.starts_with("1: "));
    EXPECT_EQ(winsim::OpenHandleCount(winsim::HandleKind::Device), devices + connected);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(g_pSharedSlot), connected ? address : 0u);
    g_hDevice.reset();
    g_pSharedSlot = nullptr;
  };
  attempt(ReplyMode::Untouched, 0, unfilled);
  attempt(ReplyMode::ZeroAddress, 0, noAddress);
  attempt(ReplyMode::Partial, 4, InitializedLine(*driver));
  for (int i = 0; i < 64; ++i) attempt(ReplyMode::Garbage, 0, "");
}

// Start and stop codes fail at random and now and then the pump thread cannot be created: each
// result is logged as it came out, and the module holds one pump or none and the driver guards
// or not as the results say. (The storm runs launches through such failures.)
TEST_F(HostileDriverTest, StartAndStopFailingAtRandomKeepResultsAndLinesRight) {
  ASSERT_TRUE(CVantor::Start());
  LineList expected = {InitializedLine(*driver), kStarted};
  driver->FailCodeAtRandom(IOCTL_GUARD_START, ERROR_ACCESS_DENIED, 0.3);
  driver->FailCodeAtRandom(IOCTL_GUARD_STOP, ERROR_GEN_FAILURE, 0.3);
  std::mt19937 random(77);
  int failures = 0, threadFailures = 0;
  for (int op = 0; op < 400; ++op) {
    const auto pick = random() % 10;
    const bool noThread = pick == 0 && !g_hPumpThread, pump = pick < 5 && !noThread;
    bool guarding = driver->Guarding();
    if (noThread) {  // and no start code goes out
      winsim::FailCall(winsim::Api::CreateThread, ERROR_NOT_ENOUGH_MEMORY);
      threadFailures += !CVantor::Start();
      expected.push_back("3: VtClient\t Unable to start ipc thread. Last Error: 0x8\n");
    } else if (pump) {
      const bool started = CVantor::Start();
      expected.push_back(started ? kStarted : StartFailed(ERROR_ACCESS_DENIED));
      failures += !started;
      guarding |= started;
    } else {
      const bool stopped = CVantor::Stop();
      expected.push_back(stopped ? kStopped : kStopFailed);
      failures += !stopped;
      guarding &= !stopped;
    }
    // A Start that got past the connection holds one pump, failed or not; a Stop none.
    EXPECT_EQ(winsim::RunningThreads(), pump ? 1 : 0) << op;
    EXPECT_TRUE(driver->Guarding() == guarding && static_cast<bool>(g_hPumpThread) == pump) << op;
  }
  EXPECT_EQ(Lines(), expected);
  EXPECT_EQ(driver->Stats().failedCodes, static_cast<std::uint64_t>(failures));
  EXPECT_TRUE(failures > 0 && threadFailures > 0);
}

}  // namespace
