#pragma once
// The demo host's command line.
#include <optional>
#include <string>

struct HostOptions {
  std::string policyFile;  // empty: the embedded default policy
  std::string launchFile;  // empty: the embedded default launches
  int threads = 4;
  int count = 0;       // 0: each launch of the set once
  bool quiet = false;  // no line per launch
};

// Parses argv; on a bad or --help argument prints usage and returns nullopt (with *exitCode).
std::optional<HostOptions> ParseOptions(int argc, char** argv, int* exitCode);
