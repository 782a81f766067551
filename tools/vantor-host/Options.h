#pragma once
// The demo host's command line.
#include <cstdint>
#include <string>

struct HostOptions {
  std::string policyFile;      // empty: ARBITER_POLICY_FILE, else the built-in policy
  std::string launchFile;      // empty: the built-in launches
  int threads = 4;             // launching threads
  std::uint64_t count = 0;     // launches in all, cycling through the set; 0: the set once
  double rate = 0;             // random arrivals at this many launches a second; 0: back to back
  int scannerDelayMs = 0;      // the scanner takes this long per launch
  bool json = false;           // JSON lines on standard output instead of text
  bool quiet = false;          // no output per launch
  std::string liveFolder;      // not empty: guard the programs started from this folder (root)
  bool timeoutAllows = false;  // live: a launch that timed out may run
};

struct ParsedOptions {
  HostOptions options;
  bool help = false;  // --help: print Usage() and stop
  std::string error;  // not empty: a bad argument, named with its option and what it takes
};

ParsedOptions ParseOptions(int argc, const char* const* argv);

// --help: the options of this build, the environment and the exit codes.
std::string Usage();
