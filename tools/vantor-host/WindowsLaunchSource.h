#pragma once
// Launches through the real guard driver, vantorflt.sys, on the Windows this process runs on
// (Wine's, in this project's runs): each one a call to the driver's launch code, as the kernel's
// launch hook would make it, from as many threads as the replay uses.
#include <atomic>
#include <memory>

#include "LaunchClient.h"
#include "LaunchSource.h"

class WindowsLaunchSource final : public LaunchSource {
 public:
  // This system's drives, the host's path, the driver file beside it and its service.
  std::vector<std::string> Describe() const override;
  std::size_t MaxPathUnits() const override { return kLongestLaunchPath; }
  // Opens the device that the module's Start brought up and finds the record it maps into this
  // process.
  bool ModuleStarted(std::string* error) override;
  LaunchResult Launch(std::u16string_view kernelPath) override;
  // Read from the record itself, where the driver parked it (the module has started).
  std::u16string ParkedPath() const override;
  // What the driver counted since the module started.
  std::string DriverCounts() const override;
  bool Faultless() const override { return unanswered_.load() == 0; }

 private:
  std::unique_ptr<LaunchClient> client_;
  GuardCounters atStart_{};
  const SharedSlot* record_ = nullptr;
  std::atomic<std::uint64_t> unanswered_{0};  // launches the driver gave no outcome
};
