#pragma once
// Launches through the guard driver stand-in on winsim's simulated machine, in this process.
#include <memory>

#include "GuardDriver.h"
#include "LaunchSource.h"

// The host's word for what the driver stand-in made of a launch.
Outcome FromDriver(GuardDriver::Outcome outcome);

class WinsimLaunchSource final : public LaunchSource {
 public:
  // Sets up the machine the module will find at load: the host's path, the drives, the guard
  // driver's image beside the host.
  WinsimLaunchSource();

  std::vector<std::string> Describe() const override;
  std::size_t MaxPathUnits() const override { return GuardDriver::kMaxPathUnits; }
  // Mounts E: now, so the pump has to rebuild its drive map when E: is first launched from.
  void ModuleLoaded() override;
  LaunchResult Launch(std::u16string_view kernelPath) override;
  std::u16string ParkedPath() const override;
  std::string DriverCounts() const override;
  bool Faultless() const override;
  GuardDriver& Driver() { return *driver_; }

 private:
  std::shared_ptr<GuardDriver> driver_;
};
