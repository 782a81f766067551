#pragma once
// Everything the host prints on standard output: what it runs with, one entry per launch, and
// the summary; as text for people or, with --json, as JSON lines (one object a line, "event"
// saying which) with the same content.
#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "LatencyStats.h"
#include "Options.h"
#include "PolicyChoice.h"
#include "Replay.h"
#include "ScanObserver.h"

struct RunSetup {
  std::vector<std::string> machine;  // LaunchSource::Describe
  PolicyInUse policy;
  std::string launchSource;  // where the paths came from
  std::size_t paths = 0;
  std::uint64_t count = 0;
};

struct RunEnd {
  std::chrono::nanoseconds elapsed{};
  bool interrupted = false;
  std::string driver;  // LaunchSource::DriverCounts
  std::string module;  // how the module ended
  int exitCode = 0;
};

// Text for a terminal: control characters, C1 controls and bidirectional overrides in a file
// name become escapes (\n, \x1B, \u202E), so that a name cannot forge or hide a line.
std::string PrintableText(const std::string& text);

class Reporter {
 public:
  explicit Reporter(const HostOptions& options) : options_(options) {}

  void Setup(const RunSetup& setup);
  // A line of progress in the run ("module loaded", ...); text output only.
  void Step(const std::string& text);
  // One launch's outcome; thread-safe. `origin` says who launched what, where the host knows
  // it (the live guard: the process and the program it ran).
  void Launch(const Launched& launched, const ScanObserver& scans, const std::string& origin = {});
  void Summary(const RunEnd& end);

  std::uint64_t Count(Outcome outcome) const;

 private:
  const HostOptions& options_;
  mutable std::mutex lock_;
  std::array<std::uint64_t, kOutcomeKinds> counts_{};
  LatencyStats judged_;  // allowed and denied launches
  LatencyStats queued_;  // live: time each launch waited in the host before the driver
  std::uint64_t lateStarts_ = 0;
  std::chrono::nanoseconds latestStart_{};
};
