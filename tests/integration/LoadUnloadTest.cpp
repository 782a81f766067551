// The real shared library, loaded and unloaded as a host does: construction order at load,
// the device closed at unload, and a host that unloads while the pump serves launches.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

using namespace std::chrono_literals;

#include "Arbiter.h"
#include "GuardDriver.h"
#include "log/LogLines.h"
#include "log/SinkCapture.h"
#include "winsim/Control.h"

extern std::atomic<void (*)(const void* memory, std::size_t size)> g_onSizedFree;

namespace {

class CVantor;
using StaticCall = bool (*)();
using Assign = CVantor& (*)(CVantor*, const CVantor&);

// dlopen/dlclose of libvantor.so with its three members looked up.
struct LoadedModule {
  // RTLD_NOLOAD: only if it is still loaded, as a host's second LoadLibrary finds it.
  explicit LoadedModule(int mode = 0)
      : handle(dlopen(VANTOR_MODULE_PATH, RTLD_NOW | RTLD_LOCAL | mode)) {
    if (handle == nullptr) return;
    start = reinterpret_cast<StaticCall>(dlsym(handle, "_ZN7CVantor5StartEv"));
    stop = reinterpret_cast<StaticCall>(dlsym(handle, "_ZN7CVantor4StopEv"));
    assign = reinterpret_cast<Assign>(dlsym(handle, "_ZN7CVantoraSERKS_"));
  }
  ~LoadedModule() { Unload(); }
  void Unload() {
    if (handle) dlclose(handle);
    handle = nullptr;
  }
  void* handle;
  StaticCall start = nullptr;
  StaticCall stop = nullptr;
  Assign assign = nullptr;
};

class LoadUnloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    winsim::SetSleepScale(0.1);
    winsim::AddDrive(u'C', {u"\\Device\\HarddiskVolume1"});
    driver = InstallGuardDriver({std::chrono::seconds(20), 3});
    ArbiterSetPolicy("deny *\\blocked*\n");
    ArbiterSetHook(nullptr, nullptr);
    devicesBefore = winsim::OpenHandleCount(winsim::HandleKind::Device);
  }
  void TearDown() override {
    EXPECT_EQ(winsim::OpenHandleCount(winsim::HandleKind::Device), devicesBefore);
    EXPECT_EQ(winsim::RunningThreads(), 0);
  }
  std::shared_ptr<GuardDriver> driver;
  int devicesBefore = 0;
};

std::ptrdiff_t FirstCallTo(const std::vector<std::string>& journal, const std::string& name) {
  const auto found = std::find_if(journal.begin(), journal.end(), [&](const std::string& line) {
    return line.rfind(name, 0) == 0;
  });
  return found == journal.end() ? -1 : found - journal.begin();
}

TEST_F(LoadUnloadTest, LoadBuildsTheDriveMapBeforeTheDriverPathAndLogsOnlyAFailedMap) {
  winsim::ClearDrives();
  SinkCapture capture;
  winsim::StartJournal();
  LoadedModule module;
  ASSERT_NE(module.handle, nullptr) << dlerror();
  const auto journal = winsim::TakeJournal();
  const auto drives = FirstCallTo(journal, "GetLogicalDriveStringsW");
  const auto path = FirstCallTo(journal, "GetModuleFileNameW");
  ASSERT_GE(drives, 0);
  EXPECT_GT(path, drives);
  EXPECT_EQ(LogLines(capture),
            std::vector<std::string>({"3: PATHCONVERTER\t Unable to initialize.\n"}));
}

// Unload closes the device, then frees the drive map (known by its entry's device prefix).
TEST_F(LoadUnloadTest, UnloadClosesTheDeviceBeforeReleasingTheDriveMap) {
  static int closesAtMapFree = -1;
  LoadedModule module;
  ASSERT_TRUE(module.start());
  ASSERT_TRUE(module.stop());
  const int closesBefore = winsim::CallCount(winsim::Api::CloseHandle);
  g_onSizedFree = [](const void* memory, std::size_t size) {
    static constexpr char16_t kPrefix[] = u"\\Device\\HarddiskVolume1\\";  // 48 bytes
    if (size >= 48 && std::memcmp(memory, kPrefix, 48) == 0)
      closesAtMapFree = winsim::CallCount(winsim::Api::CloseHandle);
  };
  module.Unload();
  g_onSizedFree = nullptr;
  EXPECT_EQ(closesAtMapFree, closesBefore + 1);
}

bool StillLoaded() {
  return LoadedModule(RTLD_NOLOAD).handle != nullptr;
}

// A host that unloads without Stop, right after Start or while launches are served: the pump
// holds its own reference, so the module stays loaded and keeps guarding (nothing is stopped,
// no control code is sent); the same module, found again, stops; the last release unloads it.
TEST_F(LoadUnloadTest, UnloadWithoutStopLeavesThePumpServingUntilStopAndTheLastRelease) {
  {
    LoadedModule module;  // the assignment operator copies nothing and yields its target
    ASSERT_TRUE(module.assign);
    alignas(8) unsigned char a[1], b[1];
    EXPECT_EQ(static_cast<void*>(
                  &module.assign(reinterpret_cast<CVantor*>(a), *reinterpret_cast<CVantor*>(b))),
              static_cast<void*>(a));
  }
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    LoadedModule module;
    ASSERT_TRUE(module.start());
    std::atomic<bool> stop{false};
    std::vector<std::thread> launchers;
    for (int t = 0; t < 3; ++t) {
      launchers.emplace_back([&] {
        while (!stop) driver->Launch(u"\\Device\\HarddiskVolume1\\a.exe");
      });
    }
    if (round % 2 == 1) {
      ASSERT_TRUE(driver->WaitForParked(driver->Stats().parked + 3, 10s));
    }
    module.Unload();
    ASSERT_TRUE(StillLoaded());
    const std::uint64_t served = driver->Stats().served();
    ASSERT_TRUE(driver->WaitForParked(driver->Stats().parked + 3, 10s));
    EXPECT_TRUE(driver->Guarding());
    EXPECT_EQ(driver->Stats().stopCodes, static_cast<std::uint64_t>(round));

    LoadedModule again(RTLD_NOLOAD);
    ASSERT_TRUE(again.stop());
    EXPECT_GT(driver->Stats().served(), served) << "served after the host's unload";
    again.Unload();
    EXPECT_FALSE(StillLoaded()) << "the pump gave its reference back";
    EXPECT_EQ(winsim::OpenHandleCount(winsim::HandleKind::Device), devicesBefore);
    stop = true;
    for (auto& launcher : launchers) launcher.join();
  }
  EXPECT_EQ(driver->Stats().timedOut, 0u);
}

}  // namespace
