// A driver that misbehaves: paths without a terminator up to a guard page, overlong paths, lone
// surrogates, odd Pending values, unfilled, partial and garbage handshake replies, start and stop
// codes that fail at random. The module must answer or refuse cleanly, log exactly what
// happened and leave no handle behind.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>

#include "module/ModuleHarness.h"
#include "requests/RequestPump.h"

namespace {

using Outcome = GuardDriver::Outcome;
using ReplyMode = GuardDriver::ReplyMode;
using PathMode = GuardDriver::PathMode;
using LineList = std::vector<std::string>;

const std::string kStarted = "1: VtClient\t Started.\n";
const std::string kStopped = "1: VtClient\t Stopped.\n";
const std::string kStopFailed = "3: VtClient\t Stop IOCTL failed.\n";
const std::string kNoThread = "3: VtClient\t Unable to start ipc thread. Last Error: 0x8\n";
const std::string kUnableToInitialize = "3: VtClient\t Unable to initialize driver.\n";
constexpr std::u16string_view kVolume1 = u"\\Device\\HarddiskVolume1\\";
constexpr std::chrono::milliseconds kLetThroughPause{1};

std::string StartFailed(DWORD error) {
  return "3: VtClient\t Start IOCTL failed. Last Error: " + std::to_string(error) + "\n";
}
std::string ReplyUnfilled(DWORD error) {
  return "3: VtClient\t Initialize failure, driver did not fill output buffer with shared ptr, "
         "last error: " +
         std::to_string(error) + "\n";
}
std::string NoAddress(DWORD error) {
  return "3: VtClient\t Initialize failure, failure to get shared buffer ptr, last error: " +
         std::to_string(error) + "\n";
}
std::string Connected(std::uint32_t address) {
  return "1: VtClient\t Initialized, shared buffer ptr: " +
         std::to_string(static_cast<std::int32_t>(address)) + "\n";
}

std::u16string Query(int index) {
  const ArbiterChar* text = ArbiterQuery(index);
  return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : u"<none>";
}

// What the scanner stand-in answers for a path, as the launch's outcome.
Outcome ScannerOutcome(const std::u16string& scanned) {
  return ArbiterEvaluate(reinterpret_cast<const ArbiterChar*>(scanned.c_str())) ? Outcome::Allowed
                                                                                : Outcome::Denied;
}

// The path the scanner must see for a kernel path on the harness's one volume (C:).
std::u16string OnDriveC(std::u16string kernel) {
  if (kernel.starts_with(kVolume1)) kernel.replace(0, kVolume1.size() - 1, u"C:");
  return kernel;
}

// `pattern` repeated and cut to `units` units, as the driver fills an unterminated record.
std::u16string Repeat(std::u16string_view pattern, std::size_t units) {
  std::u16string text;
  while (text.size() < units) text += pattern;
  text.resize(units);
  return text;
}

class HostileDriverTest : public ModuleHarness {
 protected:
  void StartGuarding() {
    winsim::SetSleepScale(0.01);
    ASSERT_TRUE(CVantor::Start());
  }
  // One launch: the outcome must be the scanner's for `scanned`, and the scanner must have been
  // asked exactly that, once.
  void ExpectServed(std::u16string_view kernel, const std::u16string& scanned,
                    const std::string& label) {
    ArbiterClearQueries();
    const GuardDriver::LaunchResult result = driver->Launch(kernel);
    EXPECT_EQ(result.outcome, ScannerOutcome(scanned)) << label;
    ASSERT_EQ(ArbiterQueryCount(), 1) << label;
    const std::u16string asked = Query(0);
    EXPECT_EQ(asked.size(), scanned.size()) << label;
    EXPECT_TRUE(asked == scanned) << label << ": the scanner saw other text";
  }
  // Starts a fresh capture (the old one is ended first, or its end would stop the new one).
  void Recapture() {
    capture.reset();
    capture = std::make_unique<SinkCapture>();
  }
  void ExpectRecordHandedBack() {
    EXPECT_EQ(std::atomic_ref(driver->Slot()->Pending).load(), 0u);
    const GuardDriver::Statistics stats = driver->Stats();
    EXPECT_EQ(stats.strangeVerdicts, 0u);
    EXPECT_EQ(stats.timedOut, 0u);
  }
};

TEST_F(HostileDriverTest, UnterminatedPathsAreCutAtTheBoundBeforeTheGuardPage) {
  StartGuarding();
  driver->SetPathMode(PathMode::Unterminated);
  struct Case {
    std::u16string pattern;
    bool converts;
  };
  const Case cases[] = {
      {u"\\Device\\Mup\\server\\a.exe", false},
      {u"\\Device\\HarddiskVolume1\\blocked\\", true},
      {u"\\Device\\HarddiskVolume1\\a", true},
      {u"\xD800", false},
      {u"\xDC00\xD800", false},
      {u"", false},  // the driver fills the area with 'X'
  };
  for (const Case& c : cases) {
    const std::u16string record = Repeat(c.pattern.empty() ? u"X" : c.pattern, kMaxImagePathUnits);
    const std::u16string scanned = c.converts ? OnDriveC(record) : record;
    ExpectServed(c.pattern, scanned, "pattern of " + std::to_string(c.pattern.size()) + " units");
    // The premise: not one zero unit in the whole path area, up to the guard page.
    const char16_t* area = driver->Slot()->ImagePath;
    EXPECT_EQ(std::find(area, area + GuardDriver::kPathAreaUnits, u'\0'),
              area + GuardDriver::kPathAreaUnits);
  }
  ExpectRecordHandedBack();
  std::printf("hostile: %zu unterminated records of %zu units\n", std::size(cases),
              GuardDriver::kPathAreaUnits);
}

TEST_F(HostileDriverTest, OverlongPathsReachTheScannerWhole) {
  StartGuarding();
  const std::u16string bases[] = {u"\\Device\\HarddiskVolume1\\long", u"\\Device\\Mup\\long",
                                  u"\\Device\\HarddiskVolume1\\blocked"};
  const std::size_t lengths[] = {259, 260, 261, 4096, 32766, GuardDriver::kMaxPathUnits};
  int tried = 0;
  for (std::size_t units : lengths) {
    driver->SetPathMode(PathMode::Overlong, units);
    for (const std::u16string& base : bases) {
      // As the driver writes it: the base, a backslash, then 'x' up to `units`.
      std::u16string kernel = base + u"\\";
      kernel.resize(units, u'x');
      ExpectServed(base, OnDriveC(kernel), std::to_string(units) + " units");
      ++tried;
    }
  }
  // A path longer than the record holds is cut by the driver to the longest it can hold.
  driver->SetPathMode(PathMode::Normal);
  const std::u16string tooLong = Repeat(u"\\Device\\HarddiskVolume1\\d", 40000);
  ExpectServed(tooLong, OnDriveC(tooLong.substr(0, GuardDriver::kMaxPathUnits)), "cut");
  ExpectRecordHandedBack();
  std::printf("hostile: %d overlong paths, 1 cut path\n", tried + 1);
}

// The first zero unit ends the path: whatever the driver left after it is not scanned.
TEST_F(HostileDriverTest, TextAfterAnEmbeddedZeroIsNotPartOfThePath) {
  StartGuarding();
  using namespace std::string_literals;
  struct Case {
    std::u16string kernel;
    std::u16string scanned;
  };
  const Case cases[] = {
      {u"\\Device\\HarddiskVolume1\\ok.exe\0\\blocked.exe"s, u"C:\\ok.exe"},
      {u"\\Device\\HarddiskVolume1\\blocked.exe\0ok"s, u"C:\\blocked.exe"},
      {u"\0\\Device\\HarddiskVolume1\\blocked.exe"s, u""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    ExpectServed(cases[i].kernel, cases[i].scanned, "case " + std::to_string(i));
  ExpectRecordHandedBack();
}

TEST_F(HostileDriverTest, LoneSurrogatesTravelEndToEndUnchanged) {
  // A volume whose device name itself holds a lone low surrogate.
  winsim::AddDrive(u'S', {u"\\Device\\Vol\xDC00"});
  ASSERT_TRUE(PathConverter::BuildDriveMap());
  StartGuarding();
  struct Case {
    std::u16string kernel;
    std::u16string scanned;
  };
  const Case cases[] = {
      {u"\\Device\\HarddiskVolume1\\a\xD800.exe", u"C:\\a\xD800.exe"},
      {u"\\Device\\HarddiskVolume1\\\xDC00\\blocked.exe", u"C:\\\xDC00\\blocked.exe"},
      {u"\\Device\\HarddiskVolume1\\\xDC00\xD800.exe", u"C:\\\xDC00\xD800.exe"},
      {u"\\Device\\HarddiskVolume1\\\xD83D\xDE00.exe", u"C:\\\xD83D\xDE00.exe"},
      {u"\\Device\\HarddiskVolume1\\end\xD800", u"C:\\end\xD800"},
      {u"\\Device\\HarddiskVolume1\\blocked\xDBFF", u"C:\\blocked\xDBFF"},
      {u"\\Device\\Vol\xDC00\\x.exe", u"S:\\x.exe"},
      {u"\\Device\\Vol\xDC00\\blocked\xD800.exe", u"S:\\blocked\xD800.exe"},
      // No drive names these: scanned as they came, after one rebuild.
      {u"\\Device\\Vol\xDC01\\x.exe", u"\\Device\\Vol\xDC01\\x.exe"},
      {u"\\Device\\HarddiskVolume1\xD800\\a.exe", u"\\Device\\HarddiskVolume1\xD800\\a.exe"},
      {u"\xD800", u"\xD800"},
      {u"\\??\\C:\\\xDFFF.exe", u"C:\\\xDFFF.exe"},
  };
  for (int round = 0; round < 3; ++round) {
    for (std::size_t i = 0; i < std::size(cases); ++i)
      ExpectServed(cases[i].kernel, cases[i].scanned, "case " + std::to_string(i));
  }
  ExpectRecordHandedBack();
  std::printf("hostile: %zu paths with surrogates, 3 rounds\n", std::size(cases));
}

TEST_F(HostileDriverTest, AnyNonZeroPendingValueIsServedAndLeftExactlyZero) {
  StartGuarding();
  const std::uint32_t fixed[] = {2, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu};
  std::atomic<int> wrong{0};
  std::atomic<int> launches{0};
  auto storm = [&] {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < 100; ++i) {
          const bool blocked = (i + t) % 2 == 0;
          const auto result = driver->Launch(blocked ? u"\\Device\\HarddiskVolume1\\blocked.exe"
                                                     : u"\\Device\\HarddiskVolume1\\ok.exe");
          const std::uint32_t expected = blocked ? 0 : 1;
          if (result.verdict != expected ||
              result.outcome != (blocked ? Outcome::Denied : Outcome::Allowed))
            ++wrong;
          ++launches;
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  };
  for (std::uint32_t value : fixed) {
    driver->SetPendingValue(value);
    storm();
    EXPECT_EQ(std::atomic_ref(driver->Slot()->Pending).load(), 0u) << value;
  }
  driver->UseRandomPendingValues();
  storm();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(driver->Stats().served(), static_cast<std::uint64_t>(launches.load()));
  ExpectRecordHandedBack();
  std::printf("hostile: %d launches with %zu fixed and random Pending values\n", launches.load(),
              std::size(fixed));
}

// A reply the module refuses fails Start with the cause and the Start line, starts no pump and
// keeps no device handle; a later Start with a sound reply connects from scratch.
TEST_F(HostileDriverTest, UnfilledOrAddresslessRepliesFailStartCleanly) {
  // Connect once and "reload" so the service runs: every attempt below then finds it running
  // and the start request leaves ERROR_SERVICE_ALREADY_RUNNING as the last error.
  StartGuarding();
  ASSERT_TRUE(CVantor::Stop());
  DriverLink::Release();
  DriverLink::BuildDriverPath();
  g_bInitialized = false;
  g_pSharedSlot = nullptr;
  Recapture();
  const int devices = winsim::OpenHandleCount(winsim::HandleKind::Device);
  const int threadsCreated = winsim::CallCount(winsim::Api::CreateThread);

  struct Case {
    const char* name;
    ReplyMode mode;
    std::size_t partialBytes;
    std::string cause;
  };
  const Case cases[] = {
      {"untouched", ReplyMode::Untouched, 0, ReplyUnfilled(ERROR_SERVICE_ALREADY_RUNNING)},
      {"zero address", ReplyMode::ZeroAddress, 0, NoAddress(ERROR_SERVICE_ALREADY_RUNNING)},
      {"partial 0", ReplyMode::Partial, 0, ReplyUnfilled(ERROR_SERVICE_ALREADY_RUNNING)},
  };
  for (const Case& c : cases) {
    driver->SetReplyMode(c.mode, c.partialBytes);
    Recapture();
    EXPECT_FALSE(CVantor::Start()) << c.name;
    EXPECT_EQ(Lines(), LineList({c.cause, kUnableToInitialize})) << c.name;
    EXPECT_FALSE(g_bInitialized) << c.name;
    EXPECT_FALSE(g_hDevice) << c.name;
    EXPECT_EQ(winsim::OpenHandleCount(winsim::HandleKind::Device), devices) << c.name;
    EXPECT_EQ(winsim::CallCount(winsim::Api::CreateThread), threadsCreated) << c.name;
    EXPECT_FALSE(driver->Guarding()) << c.name;
  }

  driver->SetReplyMode(ReplyMode::Normal);
  Recapture();
  ASSERT_TRUE(CVantor::Start());
  EXPECT_EQ(Lines(), LineList({InitializedLine(*driver), kStarted}));
  EXPECT_EQ(driver->Launch(u"\\Device\\HarddiskVolume1\\ok.exe").outcome, Outcome::Allowed);
  EXPECT_TRUE(CVantor::Stop());
  std::printf("hostile: %zu refused handshake replies\n", std::size(cases));
}

// Partial and garbage replies: the module judges the 16 bytes it got. A non-zero SlotAddress is
// taken at its word (the module trusts the driver's address), so no pump runs on these.
TEST_F(HostileDriverTest, PartialAndGarbageRepliesAreJudgedByTheirBytes) {
  ASSERT_TRUE(DriverLink::Initialize());  // creates and starts the service
  g_hDevice.reset();
  g_pSharedSlot = nullptr;
  const int devices = winsim::OpenHandleCount(winsim::HandleKind::Device);

  auto attempt = [&](const std::string& label) {
    Recapture();
    const bool connected = DriverLink::Initialize();
    const auto sent = driver->LastReply();
    ASSERT_TRUE(sent.has_value()) << label;
    // The module's reply buffer: the bytes the driver wrote over zeros.
    InitializeReply seen{};
    std::memcpy(&seen, &sent->reply, sent->bytes);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&seen);
    const bool allZero = std::all_of(bytes, bytes + sizeof seen, [](auto b) { return b == 0; });
    const std::string expected = allZero ? ReplyUnfilled(ERROR_SERVICE_ALREADY_RUNNING)
                                 : seen.SlotAddress == 0 ? NoAddress(ERROR_SERVICE_ALREADY_RUNNING)
                                                         : Connected(seen.SlotAddress);
    EXPECT_EQ(connected, !allZero && seen.SlotAddress != 0) << label;
    EXPECT_EQ(Lines(), LineList({expected})) << label;
    EXPECT_EQ(winsim::OpenHandleCount(winsim::HandleKind::Device), devices + (connected ? 1 : 0))
        << label;
    if (connected) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(g_pSharedSlot), seen.SlotAddress) << label;
    }
    g_hDevice.reset();
    g_pSharedSlot = nullptr;
  };

  for (std::size_t bytes = 0; bytes <= sizeof(InitializeReply); ++bytes) {
    driver->SetReplyMode(ReplyMode::Partial, bytes);
    attempt("partial " + std::to_string(bytes));
  }
  driver->SetReplyMode(ReplyMode::Garbage);
  for (int i = 0; i < 64; ++i) attempt("garbage " + std::to_string(i));
  EXPECT_EQ(winsim::OpenHandleCount(winsim::HandleKind::Device), devices);
  std::printf("hostile: %zu partial and 64 garbage handshake replies\n",
              sizeof(InitializeReply) + 1);
}

// Start and stop codes fail at random, and now and then the pump thread cannot be created, while
// launches keep coming: each result is logged as it came out, the module keeps one pump or none
// as the result says, and every launch is answered with its own verdict or let through.
TEST_F(HostileDriverTest, StartAndStopFailingAtRandomKeepResultsLinesAndLaunchesRight) {
  constexpr DWORD kStartError = ERROR_ACCESS_DENIED;
  constexpr int kOperations = 400;
  StartGuarding();
  LineList expected = {InitializedLine(*driver), kStarted};
  driver->FailCodeAtRandom(IOCTL_GUARD_START, kStartError, 0.3);
  driver->FailCodeAtRandom(IOCTL_GUARD_STOP, ERROR_GEN_FAILURE, 0.3);

  std::atomic<bool> over{false};
  std::atomic<int> wrong{0};
  std::atomic<int> launched{0};
  std::vector<std::thread> launchers;
  for (int t = 0; t < 4; ++t) {
    launchers.emplace_back([&, t] {
      for (int i = 0; !over; ++i) {
        const bool blocked = (i * 7 + t) % 3 == 0;
        const std::u16string path = std::u16string(kVolume1) + (blocked ? u"blocked" : u"ok") +
                                    std::u16string(1, static_cast<char16_t>(u'a' + t)) + u".exe";
        const Outcome outcome = driver->Launch(path).outcome;
        // A launch let through costs the driver nothing; pace the next one like a real one.
        if (outcome == Outcome::LetThrough) std::this_thread::sleep_for(kLetThroughPause);
        const bool right = outcome == Outcome::LetThrough ||
                           outcome == (blocked ? Outcome::Denied : Outcome::Allowed);
        if (!right) ++wrong;
        ++launched;
      }
    });
  }

  std::mt19937 random(77);
  int failures = 0;
  int starts = 0;
  int threadFailures = 0;
  for (int op = 0; op < kOperations; ++op) {
    const bool guardingBefore = driver->Guarding();
    const auto pick = random() % 10;
    if (pick == 0 && !g_hPumpThread) {
      // No pump held: this Start creates one, and the creation fails. No start code goes out.
      ++threadFailures;
      winsim::FailCall(winsim::Api::CreateThread, ERROR_NOT_ENOUGH_MEMORY);
      EXPECT_FALSE(CVantor::Start());
      expected.push_back(kNoThread);
      EXPECT_EQ(driver->Guarding(), guardingBefore) << "operation " << op;
      EXPECT_FALSE(g_hPumpThread);
      EXPECT_EQ(winsim::RunningThreads(), 0) << "operation " << op;
    } else if (pick < 5) {
      ++starts;
      const bool started = CVantor::Start();
      expected.push_back(started ? kStarted : StartFailed(kStartError));
      failures += started ? 0 : 1;
      EXPECT_EQ(driver->Guarding(), started || guardingBefore) << "operation " << op;
      EXPECT_TRUE(g_hPumpThread) << "a Start that gets past the connection holds a pump";
      EXPECT_EQ(winsim::RunningThreads(), 1) << "operation " << op;
    } else {
      const bool stopped = CVantor::Stop();
      expected.push_back(stopped ? kStopped : kStopFailed);
      failures += stopped ? 0 : 1;
      EXPECT_EQ(driver->Guarding(), !stopped && guardingBefore) << "operation " << op;
      EXPECT_FALSE(g_hPumpThread);
      EXPECT_EQ(winsim::RunningThreads(), 0) << "operation " << op;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 1000));
  }

  // Serve whatever a failed stop code left parked, then let the launchers finish.
  driver->ClearCodeFailures();
  ASSERT_TRUE(CVantor::Start());
  over = true;
  for (std::thread& launcher : launchers) launcher.join();
  ASSERT_TRUE(CVantor::Stop());
  expected.push_back(kStarted);
  expected.push_back(kStopped);

  EXPECT_EQ(Lines(), expected);
  EXPECT_EQ(wrong.load(), 0);
  const GuardDriver::Statistics stats = driver->Stats();
  EXPECT_EQ(stats.failedCodes, static_cast<std::uint64_t>(failures));
  EXPECT_EQ(stats.served() + stats.letThrough, static_cast<std::uint64_t>(launched.load()));
  EXPECT_GT(failures, 0);
  EXPECT_GT(threadFailures, 0);
  ExpectRecordHandedBack();
  std::printf(
      "hostile: %d Start/Stop calls (%d Start), %d codes failed, %d pump threads not created, "
      "%d launches (%llu served, %llu let through)\n",
      kOperations, starts, failures, threadFailures, launched.load(),
      static_cast<unsigned long long>(stats.served()),
      static_cast<unsigned long long>(stats.letThrough));
}

}  // namespace
