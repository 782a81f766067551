#pragma once
// What the Linux and the Windows build of the host do differently, one file per build
// (HostPlatformLinux.cpp: winsim and the driver stand-in in this process; HostPlatformWindows.cpp:
// the system's own Win32 and vantorflt.sys).
#include <memory>

#include "LaunchSource.h"

// The first line of the text output: what judges what.
extern const char* const kHostTitle;
// The lines of --help that say what the host runs against, after the usage line.
extern const char* const kUsageIntro;
// The lines of --help for --live and --on-timeout; empty where the build has no live guard.
extern const char* const kUsageLive;
// The last line of --help: the exit codes.
extern const char* const kUsageExitCodes;
// Why --live and --on-timeout are refused; null where the build has the live guard.
extern const char* const kLiveUnavailable;

// Sets up standard output and error so that the module's log lines (standard error) and the
// host's own (standard output) come out in step, byte for byte as written.
void PrepareOutput();

// The launch source of this build, with the machine it describes set up.
std::unique_ptr<LaunchSource> MakeLaunchSource();
