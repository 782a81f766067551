#include "LiveRun.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "Interrupt.h"
#include "LiveSource.h"
#include "ScanObserver.h"
#include "WinsimLaunchSource.h"

namespace {

Outcome FromKernel(const LiveSource::Judged& launch) {
  return launch.outcome ? FromDriver(*launch.outcome) : Outcome::Refused;  // never reached it
}

// "pid 29556 (bash) ran /srv/g/tool: Operation not permitted", with the reason when the
// verdict was not the module's. An allowed exec may still be refused by another fanotify
// listener on the same file, which this host cannot see, so the line says so.
std::string Origin(const LiveSource::Judged& launch) {
  std::string text = launch.pid == 0 ? "a process" : "pid " + std::to_string(launch.pid);
  if (!launch.caller.empty()) text += " (" + launch.caller + ")";
  text += " ran " + (launch.program.empty() ? "a file" : launch.program) + ": " +
          (launch.allowed ? "let run by this guard (another guard may still refuse it)"
                          : "Operation not permitted");
  if (!launch.problem.empty()) text += "; " + launch.problem;
  return text;
}

// Launches from the folder, parked in the driver stand-in of the Linux build's launch source.
class FanotifyGuard final : public LiveGuard {
 public:
  FanotifyGuard(std::unique_ptr<LiveSource> live, bool timeoutAllows)
      : live_(std::move(live)), timeoutAllows_(timeoutAllows) {}

  std::string Serve(Reporter& reporter, const ScanObserver& scans) override {
    std::atomic<std::uint64_t> index{0};
    return live_->Run(
        [&](const LiveSource::Judged& launch) {
          const Outcome outcome = FromKernel(launch);
          const bool judged = launch.outcome.has_value();
          LaunchResult result{outcome, judged ? launch.inDriver : launch.latency};
          result.queued = launch.queued;
          if (outcome == Outcome::TimedOut && timeoutAllows_) {
            result.why =
                "no verdict within the driver's deadline: allowed, as --on-timeout allow "
                "says";
          } else if (outcome == Outcome::Refused) {
            result.why = "fail closed, never judged";
          }
          reporter.Launch({index++, launch.kernelPath, result, {}}, scans, Origin(launch));
        },
        Interrupted);
  }

 private:
  std::unique_ptr<LiveSource> live_;
  bool timeoutAllows_;
};

}  // namespace

std::unique_ptr<LiveGuard> OpenLiveGuard(const HostOptions& options, LaunchSource& source,
                                         std::string* description, std::string* error,
                                         bool* badInput) {
  struct stat folder {};
  const bool found = ::stat(options.liveFolder.c_str(), &folder) == 0;
  *badInput = !found || !S_ISDIR(folder.st_mode);
  if (*badInput) {
    *error = found ? "not a folder" : std::strerror(errno);
    return nullptr;
  }
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
  return std::make_unique<FanotifyGuard>(std::move(guard), options.timeoutAllows);
}
