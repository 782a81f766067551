#pragma once
// A loaded module in a test process: winsim set up as a small machine with the guard driver's
// image, the module state prepared as the load steps prepare it, the log captured as lines.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "Arbiter.h"
#include "GuardDriver.h"
#include "driverlink/DriverLink.h"
#include "log/LogLines.h"
#include "module/CVantor.h"
#include "module/ModuleState.h"
#include "module/ModuleSteps.h"
#include "paths/PathConverter.h"
#include "winsim/Control.h"

class ModuleHarness : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    winsim::SetSleepScale(0.1);
    winsim::SetHostPath(u"C:\\Apps\\Host\\host.exe");
    winsim::AddDrive(u'C', {u"\\Device\\HarddiskVolume1"});
    driver = InstallGuardDriver({std::chrono::seconds(20), 7});
    ASSERT_GE(ArbiterSetPolicy("deny *\\blocked*\n"), 0);
    ArbiterSetHook(nullptr, nullptr);
    ArbiterSetRecording(1);
    ArbiterClearQueries();
    for (auto kind : kKinds) handlesBefore.push_back(winsim::OpenHandleCount(kind));
    ModuleSteps::Load();
    capture = std::make_unique<SinkCapture>();
  }

  void TearDown() override {
    // As a host that stops before unloading, then the unload steps.
    if (*g_hPumpThread) {
      g_bStopPump = true;
      WaitForSingleObject(g_hPumpThread->get(), INFINITE);
      g_hPumpThread->reset();
    }
    ModuleSteps::Unload();
    capture.reset();
    for (std::size_t i = 0; i < kKinds.size(); ++i)
      EXPECT_EQ(winsim::OpenHandleCount(kKinds[i]), handlesBefore[i]) << "handle kind " << i;
  }

  std::vector<std::string> Lines() const { return LogLines(*capture); }

  static constexpr std::array kKinds = {winsim::HandleKind::Device,
                                        winsim::HandleKind::ServiceManager,
                                        winsim::HandleKind::Service, winsim::HandleKind::Thread};
  std::shared_ptr<GuardDriver> driver;
  std::unique_ptr<SinkCapture> capture;
  std::vector<int> handlesBefore;
};
