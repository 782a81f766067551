#include "Options.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "usage: vantor-host [--policy FILE] [--launches FILE] [--threads N] [--count N] [--quiet]\n"
    "  --policy FILE    scanner rules (\"deny PATTERN\" / \"allow PATTERN\" lines, first match\n"
    "                   wins, '*' and '?' wildcards, case-insensitive); default: built in\n"
    "  --launches FILE  kernel image paths, one a line; default: a built-in set\n"
    "  --threads N      launching threads (1-64, default 4)\n"
    "  --count N        launches in all, cycling through the set (default: the set once)\n"
    "  --quiet          no line per launch, only progress and the summary\n";

bool ParseInt(std::string_view text, int low, int high, int* value) {
  int parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high)
    return false;
  *value = parsed;
  return true;
}

}  // namespace

std::optional<HostOptions> ParseOptions(int argc, char** argv, int* exitCode) {
  HostOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    bool ok = true;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      *exitCode = 0;
      return std::nullopt;
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--policy" && hasValue) {
      options.policyFile = argv[++i];
    } else if (arg == "--launches" && hasValue) {
      options.launchFile = argv[++i];
    } else if (arg == "--threads" && hasValue) {
      ok = ParseInt(argv[++i], 1, 64, &options.threads);
    } else if (arg == "--count" && hasValue) {
      ok = ParseInt(argv[++i], 1, 100'000'000, &options.count);
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "vantor-host: bad argument '%s'\n%s", argv[i], kUsage);
      *exitCode = 2;
      return std::nullopt;
    }
  }
  return options;
}
