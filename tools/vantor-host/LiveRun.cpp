#include "LiveRun.h"

#include <atomic>
#include <chrono>

#include "Interrupt.h"
#include "LiveSource.h"
#include "ScanObserver.h"
#include "WinsimLaunchSource.h"

namespace {

Outcome FromKernel(const LiveSource::Judged& launch) {
  return launch.outcome ? FromDriver(*launch.outcome) : Outcome::Refused;  // never reached it
}

// "pid 29556 (bash) ran /srv/g/tool: the kernel let it run", with the reason when it never
// reached the driver.
std::string Origin(const LiveSource::Judged& launch) {
  std::string text = "pid " + std::to_string(launch.pid);
  if (!launch.caller.empty()) text += " (" + launch.caller + ")";
  text += " ran " + launch.program + ": " + (launch.allowed ? "it ran" : "Operation not permitted");
  if (!launch.problem.empty()) text += "; " + launch.problem;
  return text;
}

// Launches from the folder, parked in the driver stand-in of the Linux build's launch source.
class FanotifyGuard final : public LiveGuard {
 public:
  FanotifyGuard(std::unique_ptr<LiveSource> live, WinsimLaunchSource& source)
      : live_(std::move(live)), source_(source) {}

  void Serve(const HostOptions& options, Reporter& reporter) override {
    const ScanObserver scans(source_, std::chrono::milliseconds(options.scannerDelayMs));
    std::atomic<std::uint64_t> index{0};
    live_->Run(
        [&](const LiveSource::Judged& launch) {
          const Launched launched{
              index++, launch.kernelPath, LaunchResult{FromKernel(launch), launch.latency}, {}};
          reporter.Launch(launched, scans, Origin(launch));
        },
        Interrupted);
  }

 private:
  std::unique_ptr<LiveSource> live_;
  WinsimLaunchSource& source_;
};

}  // namespace

std::unique_ptr<LiveGuard> OpenLiveGuard(const HostOptions& options, LaunchSource& source,
                                         std::string* description, std::string* error) {
  // The Linux build's launch source is always the driver stand-in on winsim.
  auto& winsim = dynamic_cast<WinsimLaunchSource&>(source);
  LiveSource::Options live;
  live.onTimeout =
      options.timeoutAllows ? LiveSource::TimeoutAnswer::Allow : LiveSource::TimeoutAnswer::Deny;
  auto guard = LiveSource::Open(options.liveFolder, winsim.Driver(), live, error);
  if (!guard) return nullptr;
  *description = "live, until Ctrl-C: every exec of a file directly inside " +
                 guard->Folder().Path() + " is held by the kernel, parked as " +
                 std::string(live.volumeDevice.begin(), live.volumeDevice.end()) +
                 "\\NAME and judged as L:\\NAME; a launch with no verdict in time is " +
                 (options.timeoutAllows ? "allowed" : "denied") + " (--on-timeout)";
  return std::make_unique<FanotifyGuard>(std::move(guard), winsim);
}
