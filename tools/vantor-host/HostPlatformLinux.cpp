// The Linux build: the module is libvantor.so over winsim, and launches go through the guard
// driver stand-in in this process.
#include <cstdio>

#include "HostPlatform.h"
#include "WinsimLaunchSource.h"

const char* const kHostTitle =
    "Vantor demo host: the module (libvantor.so), loaded as a host loads it, judges launches held "
    "by the guard driver stand-in";

const char* const kUsageIntro =
    "Loads the Vantor module over a simulated Windows, starts it, sends program launches through\n"
    "the guard driver stand-in and prints what became of each, then a summary.\n";

const char* const kUsageLive =
    "  --live DIR           instead of replaying launches, guard the programs started from DIR\n"
    "                       (needs root): the kernel holds each exec of a file directly inside\n"
    "                       DIR, the module judges it as L:\\NAME, and a denied program fails\n"
    "                       with \"Operation not permitted\"; runs until Ctrl-C\n"
    "  --on-timeout ANSWER  live: allow or deny, what a held launch gets when no verdict comes\n"
    "                       within the driver's deadline (default deny: nothing unjudged runs)\n";

const char* const kUsageExitCodes =
    "Exit codes: 0 done (--live: stopped by Ctrl-C); 1 the module failed, a launch timed out or\n"
    "fanotify is not available; 2 bad input; 130 Ctrl-C.\n";

const char* const kLiveUnavailable = nullptr;

void PrepareOutput() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
}

std::unique_ptr<LaunchSource> MakeLaunchSource() {
  return std::make_unique<WinsimLaunchSource>();
}
