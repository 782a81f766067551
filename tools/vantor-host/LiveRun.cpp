#include "LiveRun.h"

#include <atomic>

#include "Interrupt.h"
#include "ScanObserver.h"

namespace {

Outcome FromKernel(const LiveSource::Judged& launch) {
  if (!launch.outcome) return Outcome::Refused;  // never reached the driver
  switch (*launch.outcome) {
    case GuardDriver::Outcome::Allowed:
      return Outcome::Allowed;
    case GuardDriver::Outcome::Denied:
      return Outcome::Denied;
    case GuardDriver::Outcome::LetThrough:
      return Outcome::LetThrough;
    case GuardDriver::Outcome::TimedOut:
      return Outcome::TimedOut;
    case GuardDriver::Outcome::Refused:
      return Outcome::Refused;
  }
  return Outcome::Refused;
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

}  // namespace

std::unique_ptr<LiveSource> OpenLiveGuard(const HostOptions& options, WinsimLaunchSource& source,
                                          std::string* description, std::string* error) {
  LiveSource::Options live;
  live.onTimeout =
      options.timeoutAllows ? LiveSource::TimeoutAnswer::Allow : LiveSource::TimeoutAnswer::Deny;
  auto guard = LiveSource::Open(options.liveFolder, source.Driver(), live, error);
  if (!guard) return nullptr;
  *description = "live, until Ctrl-C: every exec of a file directly inside " +
                 guard->Folder().Path() + " is held by the kernel, parked as " +
                 std::string(live.volumeDevice.begin(), live.volumeDevice.end()) +
                 "\\NAME and judged as L:\\NAME; a launch with no verdict in time is " +
                 (options.timeoutAllows ? "allowed" : "denied") + " (--on-timeout)";
  return guard;
}

void ServeLiveLaunches(LiveSource& live, WinsimLaunchSource& source, const HostOptions& options,
                       Reporter& reporter) {
  const ScanObserver scans(source, std::chrono::milliseconds(options.scannerDelayMs));
  std::atomic<std::uint64_t> index{0};
  live.Run(
      [&](const LiveSource::Judged& launch) {
        const Launched launched{
            index++, launch.kernelPath, LaunchResult{FromKernel(launch), launch.latency}, {}};
        reporter.Launch(launched, scans, Origin(launch));
      },
      Interrupted);
}
