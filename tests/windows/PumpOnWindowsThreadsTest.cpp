// The request pump on real Windows threads under Wine: an in-process record served by the
// driver stand-in's portable part, paths converted over Wine's real drives, verdicts from the
// real Arbiter.dll.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "Arbiter.h"
#include "GuardDriver.h"
#include "driverlink/DriverLinkState.h"
#include "module/ModuleState.h"
#include "paths/PathConverter.h"
#include "requests/RequestPump.h"

namespace {

TEST(PumpOnWindowsThreads, AnswersEveryLaunchWithTheScannersVerdict) {
  ASSERT_GE(ArbiterSetPolicy("deny *\\blocked*\n"), 0);
  ArbiterClearQueries();
  PathConverter::Initialize();
  GuardDriver driver;
  DWORD returned = 0, error = 0;
  InitializeRequest request{};
  InitializeReply reply{};
  ASSERT_TRUE(driver.Control(IOCTL_GUARD_INITIALIZE, &request, sizeof request, &reply, sizeof reply,
                             &returned, &error));
  ASSERT_TRUE(driver.Control(IOCTL_GUARD_START, nullptr, 0, nullptr, 0, &returned, &error));
  g_pSharedSlot = driver.Slot();
  g_bStopPump = false;
  const UniqueHandle pump(CreateThread(nullptr, 0, RequestPump, nullptr, 0, nullptr));
  ASSERT_TRUE(pump);

  std::vector<std::thread> launchers;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 3; ++t) {
    launchers.emplace_back([&] {
      for (int i = 0; i < 10; ++i) {
        if (driver.Launch(u"\\Device\\HarddiskVolume1\\windows\\system32\\cmd.exe").outcome !=
            GuardDriver::Outcome::Allowed)
          ++wrong;
        if (driver.Launch(u"\\Device\\HarddiskVolume1\\blocked.exe").outcome !=
            GuardDriver::Outcome::Denied)
          ++wrong;
      }
    });
  }
  for (auto& launcher : launchers) launcher.join();
  g_bStopPump = true;
  EXPECT_EQ(WaitForSingleObject(pump.get(), INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(std::atomic_ref(driver.Slot()->Pending).load(), 0u);
  ASSERT_GT(ArbiterQueryCount(), 0);
  EXPECT_EQ(std::wstring(ArbiterQuery(0)).substr(0, 3), L"C:\\") << "converted over Wine's drives";
  PathConverter::Release();
}

}  // namespace
