#pragma once
// The demo host's exit codes (the README lists them with the output words).

// Every launch got its outcome and the module stopped and unloaded.
inline constexpr int kExitOk = 0;
// The run went wrong: the module could not be loaded, started or stopped, or a launch timed out
// or got a verdict other than 0 or 1.
inline constexpr int kExitFailed = 1;
// Bad input: an option, the policy, the launch file or the log file; nothing was launched.
inline constexpr int kExitBadInput = 2;
// Ctrl-C (or SIGTERM): no launch after it, the module stopped and unloaded, the summary printed.
inline constexpr int kExitInterrupted = 130;
