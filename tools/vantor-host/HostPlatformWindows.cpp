// The Windows build (run under Wine here): the module is vantor.dll, which installs and starts
// the guard driver vantorflt.sys; launches go to that driver.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "HostPlatform.h"
#include "LiveRun.h"
#include "WindowsLaunchSource.h"
#include "platform/Win32.h"

const char* const kHostTitle =
    "Vantor demo host: the module (vantor.dll), loaded as a host loads it, judges launches held "
    "by the guard driver vantorflt.sys";

const char* const kUsageIntro =
    "Loads vantor.dll from beside it and starts it, which installs and starts the guard driver\n"
    "vantorflt.sys beside it as the service \"vantorflt\"; sends program launches through the\n"
    "driver and prints what became of each, then a summary. The service stays installed:\n"
    "scripts/demo.sh --wine removes it after the run.\n";

const char* const kUsageLive = "";

const char* const kUsageExitCodes =
    "Exit codes: 0 done; 1 the module failed, a launch timed out or got no outcome; 2 bad input;\n"
    "130 Ctrl-C.\n";

const char* const kLiveUnavailable =
    "not in the Windows build: the live guard holds a Linux folder's execs through fanotify "
    "(the Linux demo has it)";

void PrepareOutput() {
  // Bytes as written: no CR before each LF, and UTF-8 on a console.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
  // The runtime leaves standard output unbuffered on a console, where each character would be a
  // write of its own, and buffers standard error when it is a file. Standard output is buffered
  // here (the reporter flushes each entry) and standard error is not, so the module's log lines,
  // written there through the same runtime, come out in step with the host's.
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  std::setvbuf(stderr, nullptr, _IONBF, 0);
}

std::unique_ptr<LaunchSource> MakeLaunchSource() {
  return std::make_unique<WindowsLaunchSource>();
}

std::unique_ptr<LiveGuard> OpenLiveGuard(const HostOptions&, LaunchSource&, std::string*,
                                         std::string* error, bool* badInput) {
  *error = kLiveUnavailable;
  *badInput = false;
  return nullptr;
}
