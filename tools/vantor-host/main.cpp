// vantor-host: a demo host. It checks its inputs, sets up a launch source (on Linux the guard
// driver stand-in on a simulated machine, on Windows the real guard driver), loads the module as
// a host would, starts it, replays program launches (or, with --live on Linux, serves the
// system's own launches from one folder until Ctrl-C), prints what became of each and a summary,
// then stops and unloads the module. The module's log lines reach standard error through the log
// sink stand-in.
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "Basalt.h"
#include "Defaults.h"
#include "ExitCodes.h"
#include "HostPlatform.h"
#include "Interrupt.h"
#include "LaunchList.h"
#include "LiveRun.h"
#include "ModuleLibrary.h"
#include "Options.h"
#include "PolicyChoice.h"
#include "Replay.h"
#include "Reporter.h"
#include "ScanObserver.h"

namespace {

int BadInput(const std::string& message) {
  std::fprintf(stderr, "vantor-host: %s\n(vantor-host --help lists the options)\n",
               message.c_str());
  return kExitBadInput;
}

// Waits for the replay, stopping it on Ctrl-C; with nothing printed per launch, shows progress.
bool WaitFor(Replay& replay, std::uint64_t count, bool showProgress) {
  auto lastProgress = std::chrono::steady_clock::now();
  bool interrupted = false;
  while (!replay.Finished()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (Interrupted() && !interrupted) {
      interrupted = true;
      std::fprintf(stderr,
                   "vantor-host: interrupted: no new launches; finishing those under way, then "
                   "stopping the module (Ctrl-C again ends the process at once)\n");
      replay.RequestStop();
    }
    if (showProgress &&
        std::chrono::steady_clock::now() - lastProgress >= std::chrono::seconds(1)) {
      lastProgress = std::chrono::steady_clock::now();
      std::fprintf(stderr, "progress: %llu/%llu launches\n",
                   static_cast<unsigned long long>(replay.Done()),
                   static_cast<unsigned long long>(count));
    }
  }
  return interrupted;
}

}  // namespace

int main(int argc, char** argv) {
  PrepareOutput();
  const ParsedOptions parsed = ParseOptions(argc, argv);
  if (parsed.help) {
    std::fputs(Usage().c_str(), stdout);
    return kExitOk;
  }
  if (!parsed.error.empty()) return BadInput(parsed.error);
  const HostOptions& options = parsed.options;

  char logProblem[1024];
  if (BasaltCheckLogFile(logProblem, sizeof logProblem) != 0) return BadInput(logProblem);
  RunSetup setup;
  std::string error;
  if (!ChoosePolicy(options.policyFile, &setup.policy, &error)) return BadInput(error);

  const std::unique_ptr<LaunchSource> launchSource = MakeLaunchSource();
  LaunchSource& source = *launchSource;
  std::vector<std::u16string> paths = DefaultLaunches();
  std::unique_ptr<LiveGuard> live;
  setup.machine = source.Describe();
  if (!options.liveFolder.empty()) {
    bool badInput = false;
    live = OpenLiveGuard(options, source, &setup.launchSource, &error, &badInput);
    if (badInput) return BadInput("--live: " + options.liveFolder + ": " + error);
    if (!live) {
      std::fprintf(stderr, "vantor-host: --live %s: %s\n", options.liveFolder.c_str(),
                   error.c_str());
      return kExitFailed;
    }
  } else {
    setup.launchSource = "built in";
    if (!options.launchFile.empty()) {
      if (!ReadLaunchList(options.launchFile, source.MaxPathUnits(), &paths, &error))
        return BadInput("--launches: " + error);
      setup.launchSource = "from --launches " + options.launchFile;
    }
    setup.paths = paths.size();
    setup.count = options.count > 0 ? options.count : paths.size();
  }

  Reporter reporter(options);
  reporter.Setup(setup);
  CatchInterrupts();
  // The scanner's hook: made before the module and gone after it, since the module's pump may
  // still be inside it (judging a launch that timed out) until Stop returns.
  const ScanObserver scans(source, std::chrono::milliseconds(options.scannerDelayMs));
  const std::string modulePath = ModulePathBesideExecutable();
  ModuleLibrary module(modulePath);
  if (!module.Loaded()) {
    std::fprintf(stderr, "vantor-host: cannot load the module: %s\n", module.Error().c_str());
    return kExitFailed;
  }
  source.ModuleLoaded();
  reporter.Step("module: loaded " + modulePath);
  if (!module.Start()) {
    std::fprintf(stderr, "vantor-host: CVantor::Start failed (the module's log says why)\n");
    module.Stop();  // a Start that failed late leaves its pump running; it ends before the unload
    return kExitFailed;
  }
  if (!source.ModuleStarted(&error)) {
    std::fprintf(stderr, "vantor-host: %s\n", error.c_str());
    module.Stop();
    return kExitFailed;
  }

  const auto begin = std::chrono::steady_clock::now();
  RunEnd end;
  std::string liveFault;
  if (live) {
    reporter.Step("module: started; guarding until Ctrl-C");
    liveFault = live->Serve(reporter, scans);
    if (!liveFault.empty()) {
      std::fprintf(stderr, "vantor-host: --live: stopped guarding: %s\n", liveFault.c_str());
    }
  } else {
    reporter.Step("module: started; launching");
    Replay replay(source, paths, {options.threads, setup.count, options.rate},
                  [&](const Launched& launched) { reporter.Launch(launched, scans); });
    end.interrupted = WaitFor(replay, setup.count, options.quiet || options.json);
  }
  end.elapsed = std::chrono::steady_clock::now() - begin;

  const bool stopped = module.Stop();
  module.Unload();
  end.driver = source.DriverCounts();
  end.module = stopped ? "stopped and unloaded" : "CVantor::Stop failed; unloaded";
  // The live guard ends with Ctrl-C, and its timed-out launches are the machine's, answered as
  // --on-timeout says: neither is a failure of the run.
  const bool failed = !stopped || !source.Faultless() || !liveFault.empty() ||
                      (!live && reporter.Count(Outcome::TimedOut) > 0);
  end.exitCode = failed ? kExitFailed : end.interrupted ? kExitInterrupted : kExitOk;
  reporter.Summary(end);
  return end.exitCode;
}
