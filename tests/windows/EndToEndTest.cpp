// The product's whole path under Wine: the 64-bit vantor.dll installs and starts vantorflt.sys
// through Wine's service manager, shakes hands with it, and serves real launches parked in the
// record the driver maps into this process, until Stop, Start again, and unload.
#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <optional>
#include <string_view>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "GuardHost.h"

namespace {

// Type, start type, error control, driver file, display name, state.
using ServiceEntry = std::tuple<DWORD, DWORD, DWORD, std::wstring, std::wstring, DWORD>;

std::optional<ServiceEntry> QueryGuardService() {
  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  const UniqueServiceHandle service(
      OpenServiceW(manager.get(), L"vantorflt", SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
  if (!service) return std::nullopt;
  DWORD needed = 0;
  QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  std::vector<std::uint8_t> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  SERVICE_STATUS status{};
  if (!QueryServiceConfigW(service.get(), config, needed, &needed) ||
      !QueryServiceStatus(service.get(), &status)) {
    return std::nullopt;
  }
  return ServiceEntry{config->dwServiceType,    config->dwStartType,   config->dwErrorControl,
                      config->lpBinaryPathName, config->lpDisplayName, status.dwCurrentState};
}

TEST_F(GuardHost, FirstStartInstallsTheDriverAndLaterStartsReuseTheConnection) {
  const std::u16string c = DeviceOfDrive(L"C:");
  const std::u16string blocked = c + u"\\Temp\\blocked.exe";
  ASSERT_EQ(ArbiterSetPolicy("deny C:\\Temp\\blocked*\n"), 1);

  EXPECT_EQ(LinesOf([&] { EXPECT_TRUE(Stop()); }), LineList{kNotInitialized});
  EXPECT_FALSE(QueryGuardService()) << "Stop before Start touches no service";

  const LineList started = LinesOf([&] { ASSERT_TRUE(Start()); });
  const auto record = static_cast<std::int32_t>(Counters().recordAddress);
  EXPECT_NE(record, 0);
  EXPECT_EQ(started, (LineList{InitializedLine(static_cast<std::uint32_t>(record)), kStarted}));
  EXPECT_EQ(QueryGuardService(),
            (ServiceEntry{SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                          HostDirectory() + L"vantorflt.sys", L"vantorflt", SERVICE_RUNNING}));
  EXPECT_EQ(Launch(blocked), LaunchOutcome::Denied);
  {
    // Start while guarding: the start code again, and still one pump (a second one would serve
    // the held request again).
    std::future<LaunchOutcome> held;
    HoldingScanner scanner;
    EXPECT_EQ(LinesOf([&] { EXPECT_TRUE(Start()); }), LineList{kStarted});
    held = std::async(std::launch::async, [&] { return Launch(c + u"\\held.exe"); });
    ASSERT_TRUE(WaitUntil([] { return ArbiterQueryCount() >= 2; }));
    Sleep(50);  // several of a pump's idle periods
    EXPECT_EQ(ArbiterQueryCount(), 2);
    scanner.Release();
    EXPECT_EQ(held.get(), LaunchOutcome::Allowed);
  }

  EXPECT_EQ(LinesOf([&] { EXPECT_TRUE(Stop()); }), LineList{kStopped});
  EXPECT_EQ(Launch(blocked), LaunchOutcome::LetThrough);
  EXPECT_EQ(LinesOf([&] { EXPECT_TRUE(Start()); }), LineList{kStarted}) << "no second handshake";
  EXPECT_EQ(Launch(blocked), LaunchOutcome::Denied);
  EXPECT_EQ(LinesOf([&] { EXPECT_TRUE(Stop()); }), LineList{kStopped});
  EXPECT_EQ(LinesOf([&] { EXPECT_TRUE(Stop()); }), LineList{kStopped});
  EXPECT_EQ(Launch(blocked), LaunchOutcome::LetThrough);

  const GuardCounters counters = Counters();
  EXPECT_EQ(counters.handshakes, 1u);
  EXPECT_EQ(counters.recordAddress, static_cast<std::uint32_t>(record));
  EXPECT_EQ(ArbiterQueryCount(), 3) << "asked for the guarded launches only";
}

// The path the driver hands over, what the launch comes to, and what the scanner is asked
// (nothing for a launch the driver decides alone).
struct LaunchRow {
  const char* what;
  std::u16string path;
  LaunchOutcome outcome;
  std::optional<std::u16string> asked;
};

TEST_F(GuardHost, LaunchesGetTheScannersVerdictOnTheDriveLetterPath) {
  const std::u16string c = DeviceOfDrive(L"C:");
  ASSERT_FALSE(c.empty());
  ASSERT_EQ(ArbiterSetPolicy("deny *\\blocked*\n"), 1);
  const std::u16string fill(kLongestLaunchPath - c.size() - 1, u'a');  // "\" + fill: the longest
  const std::u16string nowhere = u"\\Device\\NoSuchVolume\\";
  const std::vector<LaunchRow> rows = {
      {"allowed", c + u"\\Windows\\notepad.exe", LaunchOutcome::Allowed,
       u"C:\\Windows\\notepad.exe"},
      {"denied", c + u"\\Temp\\blocked.exe", LaunchOutcome::Denied, u"C:\\Temp\\blocked.exe"},
      {"no drive names it", nowhere + u"tool.exe", LaunchOutcome::Allowed, nowhere + u"tool.exe"},
      {"no drive, denied", nowhere + u"blocked.exe", LaunchOutcome::Denied,
       nowhere + u"blocked.exe"},
      {"empty", u"", LaunchOutcome::Allowed, u""},
      {"longest, whole", c + u"\\" + fill, LaunchOutcome::Allowed, u"C:\\" + fill},
      {"one unit longer", c + u"\\" + fill + u"a", LaunchOutcome::Denied, std::nullopt},
      {"zero unit inside", c + u"\\ok.exe" + u'\0' + u"\\blocked.exe", LaunchOutcome::Denied,
       std::nullopt},
  };
  ASSERT_TRUE(Start());
  for (const LaunchRow& row : rows) {
    SCOPED_TRACE(row.what);
    ArbiterClearQueries();
    EXPECT_EQ(Launch(row.path), row.outcome);
    ASSERT_EQ(ArbiterQueryCount(), row.asked ? 1 : 0);
    if (row.asked) {
      EXPECT_EQ(std::wstring(ArbiterQuery(0)), std::wstring(row.asked->begin(), row.asked->end()));
    }
  }
  const GuardCounters counters = Counters();
  EXPECT_EQ(counters.parked, 6u);
  EXPECT_EQ(counters.refused, 2u);
  EXPECT_EQ(counters.allowed + counters.denied, 6u);
}

TEST_F(GuardHost, ALaunchPastItsDeadlineFailsClosedAndItsLateVerdictReachesNoOtherLaunch) {
  const std::u16string c = DeviceOfDrive(L"C:");
  ASSERT_EQ(ArbiterSetPolicy("deny *\\blocked*\n"), 1);
  std::future<LaunchOutcome> next;
  HoldingScanner scanner;  // destroyed first: a failed step frees the pump the launch waits on
  ASSERT_TRUE(Start());
  ASSERT_TRUE(Driver().SetDeadline(300));
  EXPECT_EQ(Launch(c + u"\\held.exe"), LaunchOutcome::TimedOut);

  // The next launch waits for the module to answer the timed-out one before it takes the record.
  ASSERT_TRUE(Driver().SetDeadline(kDefaultDeadlineMs));
  next = std::async(std::launch::async, [&] { return Launch(c + u"\\blocked.exe"); });
  ASSERT_TRUE(WaitUntil([&] { return Counters().launches == 2; }));
  scanner.Release();  // the late verdict allows
  EXPECT_EQ(next.get(), LaunchOutcome::Denied);

  const GuardCounters counters = Counters();
  EXPECT_EQ(counters.timedOut, 1u);
  EXPECT_EQ(counters.lateVerdicts, 1u);
  EXPECT_EQ(counters.denied, 1u);
  EXPECT_TRUE(Stop());
}

// Guarding ends while the pump serves one launch and two more wait: the one served keeps its
// verdict, the two nobody will serve are let through at once, and once the module has unloaded
// (closing the device) the next host gets the record and starts clean.
TEST_F(GuardHost, EndingGuardingLetsThroughWhatNobodyWillServe) {
  const std::u16string c = DeviceOfDrive(L"C:");
  ASSERT_EQ(ArbiterSetPolicy("deny *\\blocked*\n"), 1);
  {
    std::future<LaunchOutcome> served, parked, queued;
    HoldingScanner scanner;  // destroyed first: a failed step frees the pump the launches wait on
    ASSERT_TRUE(Start());
    served = std::async(std::launch::async, [&] { return Launch(c + u"\\held.exe"); });
    ASSERT_TRUE(WaitUntil([] { return ArbiterQueryCount() == 1; }));
    parked = std::async(std::launch::async, [&] { return Launch(c + u"\\blocked1.exe"); });
    queued = std::async(std::launch::async, [&] { return Launch(c + u"\\blocked2.exe"); });
    ASSERT_TRUE(WaitUntil([&] { return Counters().launches == 3; }));

    // Stop waits for the pump, which waits for the scanner: release it once Stop is under way.
    std::thread releaser([&] {
      Sleep(100);  // the pump's stop flag is up by now: it ends after this verdict
      scanner.Release();
    });
    EXPECT_TRUE(Stop());
    releaser.join();
    EXPECT_EQ(served.get(), LaunchOutcome::Allowed);
    EXPECT_EQ(parked.get(), LaunchOutcome::LetThrough);
    EXPECT_EQ(queued.get(), LaunchOutcome::LetThrough);
    EXPECT_EQ(ArbiterQueryCount(), 1);
  }
  UnloadModule();
  ArbiterClearQueries();
  LoadModule();
  ASSERT_TRUE(Start()) << "a new host gets the record once the old one closed its handle";
  EXPECT_EQ(Launch(c + u"\\blocked.exe"), LaunchOutcome::Denied);
  EXPECT_EQ(Counters().handshakes, 2u);
  EXPECT_EQ(ArbiterQueryCount(), 1) << "the new pump served nothing from before";
}

// A host that unloads vantor.dll without Stop, right after Start or while the scanner is judging
// a launch, gives back only its own reference: the pump holds one of its own, so the module
// stays loaded and guarding, nothing waits inside the loader lock and no code is unmapped under
// the pump. The same module, loaded again, stops, and the last release unloads it.
TEST_F(GuardHost, UnloadWithoutStopLeavesThePumpGuardingUntilStop) {
  const std::u16string c = DeviceOfDrive(L"C:");
  ASSERT_EQ(ArbiterSetPolicy("deny *\\blocked*\n"), 1);
  for (int round = 0; round < 100; ++round) {
    SCOPED_TRACE(round);
    const bool whileServing = round % 2 == 1;
    std::future<LaunchOutcome> served;
    HoldingScanner scanner;
    ArbiterClearQueries();
    ASSERT_TRUE(Start());
    if (whileServing) {
      served = std::async(std::launch::async, [&] { return Launch(c + u"\\held.exe"); });
      ASSERT_TRUE(WaitUntil([] { return ArbiterQueryCount() == 1; }));
    }
    UnloadModule();
    ASSERT_NE(GetModuleHandleW(L"vantor.dll"), nullptr) << "the pump's reference keeps it loaded";
    scanner.Release();
    if (whileServing) {
      EXPECT_EQ(served.get(), LaunchOutcome::Allowed);
    }
    EXPECT_EQ(Launch(c + u"\\blocked.exe"), LaunchOutcome::Denied) << "still guarding";

    LoadModule();
    ASSERT_TRUE(Stop());
    UnloadModule();
    ASSERT_EQ(GetModuleHandleW(L"vantor.dll"), nullptr) << "the pump gave its reference back";
    EXPECT_EQ(Launch(c + u"\\blocked.exe"), LaunchOutcome::LetThrough);
    LoadModule();
  }
  const GuardCounters counters = Counters();
  EXPECT_EQ(counters.timedOut, 0u);
  EXPECT_EQ(counters.handshakes, 100u) << "each round's module shook hands once";
}

// Whatever the scanner raises, through the real pump of the real DLL: the launch is denied, the
// scanner's own cleanups ran, the host lives on, and the pump serves the next launch.
int destroyed = 0;
struct Counted {
  ~Counted() { ++destroyed; }
};

TEST_F(GuardHost, ScannerExceptionsDenyTheLaunchAndThePumpServesOn) {
  const struct {
    const char* what;
    ArbiterHook scanner;
    int destroyed;  // the GCC throw: its local by the unwind, its object by its own runtime
    bool x64Only;   // a GCC throw on x86 uses DWARF tables, which no Windows handler sees
  } rows[] = {
      {"access violation",
       [](const wchar_t*, void*) {
         int* volatile nowhere = nullptr;
         return *nowhere != 0;
       },
       0, false},
      {"continuable code",
       [](const wchar_t*, void*) {
         RaiseException(0x0BADC0DE, 0, 0, nullptr);  // returns if a handler continues it
         return true;
       },
       0, false},
      {"illegal instruction", [](const wchar_t*, void*) -> bool { __builtin_trap(); }, 0, false},
      {"GCC throw",
       [](const wchar_t*, void*) -> bool {
         Counted local;
         throw Counted{};
       },
       2, true},
      {"stack overflow", [](const wchar_t*, void*) { return Descend(unboundedDepth) != 0; }, 0,
       false},
      {"a second stack overflow",
       [](const wchar_t*, void*) { return Descend(unboundedDepth) != 0; }, 0, false},
  };
  const std::u16string c = DeviceOfDrive(L"C:");
  ASSERT_TRUE(Start());
  for (const auto& row : rows) {
    if (sizeof(void*) == 4 && row.x64Only) continue;
    SCOPED_TRACE(row.what);
    destroyed = 0;
    ArbiterSetHook(row.scanner, nullptr);
    EXPECT_EQ(Launch(c + u"\\raise.exe"), LaunchOutcome::Denied);
    EXPECT_EQ(destroyed, row.destroyed);
    ArbiterSetHook(nullptr, nullptr);
    EXPECT_EQ(Launch(c + u"\\ok.exe"), LaunchOutcome::Allowed);
  }
  EXPECT_TRUE(Stop());
}

}  // namespace
