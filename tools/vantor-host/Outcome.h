#pragma once
// What became of one launch, and the one word the host prints for it.
#include <chrono>

enum class Outcome {
  Allowed,     // the module answered "may run"
  Denied,      // the module answered "may not run"
  LetThrough,  // the driver was not guarding: it ran without being judged
  TimedOut,    // no verdict within the driver's deadline: fail closed, it may not run
  Refused,     // the path is longer than the driver's record holds: fail closed, never judged
};
inline constexpr int kOutcomeKinds = 5;

inline const char* OutcomeWord(Outcome outcome) {
  constexpr const char* kWords[kOutcomeKinds] = {"allowed", "denied", "let through", "timed out",
                                                 "refused"};
  return kWords[static_cast<int>(outcome)];
}

struct LaunchResult {
  Outcome outcome;
  std::chrono::nanoseconds latency;  // from the launch's arrival at the driver to its outcome
  // Why an unjudged launch ended so, where the outcome word alone would mislead; null otherwise.
  const char* why = nullptr;
  // How long the launch waited in the host before it reached the driver (live launches).
  std::chrono::nanoseconds queued{};
};
