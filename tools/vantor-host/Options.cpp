#include "Options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "HostPlatform.h"

namespace {

constexpr const char* kUsageOptions =
    "  --policy FILE        scanner rules, UTF-8: \"deny PATTERN\" / \"allow PATTERN\" a line, "
    "first\n"
    "                       match wins, '*' and '?' wildcards, letter case ignored as Windows\n"
    "                       does, '#' comments; default: ARBITER_POLICY_FILE, else built in\n"
    "  --launches FILE      kernel image paths, UTF-8, one a line ('#' comments, blank lines\n"
    "                       skipped); default: a built-in set\n"
    "  --threads N          launching threads, 1 to 64 (default 4)\n"
    "  --count N            launches in all, cycling through the set, 1 to 1000000000\n"
    "                       (default: the set once)\n"
    "  --rate N             launches arrive at random moments, N a second on average (more than\n"
    "                       0, at most 10000); default: each thread launches again at once\n"
    "  --scanner-delay MS   the scanner takes MS milliseconds per launch, 0 to 60000 (default 0)\n";

constexpr const char* kUsageOutput =
    "  --json               JSON lines on standard output instead of text\n"
    "  --quiet              nothing per launch: progress on standard error, then the summary\n"
    "  --help               this text\n"
    "Environment: ARBITER_POLICY_FILE (the scanner's rules, below --policy), BASALT_LOG_FILE\n"
    "(append the module's log lines to this file instead of standard error).\n";

}  // namespace

std::string Usage() {
  return std::string("usage: vantor-host [OPTION]...\n") + kUsageIntro + kUsageOptions +
         kUsageLive + kUsageOutput + kUsageExitCodes;
}

namespace {

bool WholeNumber(std::string_view text, long long low, long long high, long long* value) {
  long long parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high)
    return false;
  *value = parsed;
  return true;
}

bool Rate(const std::string& text, double* value) {
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(parsed) || parsed <= 0 || parsed > 10'000)
    return false;
  *value = parsed;
  return true;
}

}  // namespace

ParsedOptions ParseOptions(int argc, const char* const* argv) {
  ParsedOptions parsed;
  HostOptions& options = parsed.options;
  std::string replayOption;  // the last option given that only replayed launches take
  bool timeoutGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string value;
    bool inlineValue = false;
    if (const auto equals = arg.find('='); arg.starts_with("--") && equals != arg.npos) {
      value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
      inlineValue = true;
    }
    const std::string name(arg);
    auto takeValue = [&](const char* what) {
      if (inlineValue) return true;
      if (i + 1 < argc) {
        value = argv[++i];
        return true;
      }
      parsed.error = name + ": needs " + what;
      return false;
    };
    auto bad = [&](const std::string& wanted) {
      parsed.error = name + ": '" + value + "' is not " + wanted;
      return parsed;
    };
    long long number = 0;
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      return parsed;
    } else if (arg == "--quiet" || arg == "--json") {
      if (inlineValue) {
        parsed.error = name + ": takes no value";
        return parsed;
      }
      (arg == "--quiet" ? options.quiet : options.json) = true;
    } else if ((arg == "--live" || arg == "--on-timeout") && kLiveUnavailable != nullptr) {
      parsed.error = name + ": " + kLiveUnavailable;
      return parsed;
    } else if (arg == "--live") {
      if (!takeValue("a folder")) return parsed;
      if (value.empty()) return bad("a folder");
      options.liveFolder = value;
    } else if (arg == "--on-timeout") {
      if (!takeValue("allow or deny")) return parsed;
      if (value != "allow" && value != "deny") return bad("allow or deny");
      options.timeoutAllows = value == "allow";
      timeoutGiven = true;
    } else if (arg == "--policy" || arg == "--launches") {
      if (!takeValue("a file name")) return parsed;
      if (value.empty()) return bad("a file name");
      (arg == "--policy" ? options.policyFile : options.launchFile) = value;
    } else if (arg == "--threads") {
      if (!takeValue("a number of threads")) return parsed;
      if (!WholeNumber(value, 1, 64, &number)) return bad("a whole number from 1 to 64");
      options.threads = static_cast<int>(number);
    } else if (arg == "--count") {
      if (!takeValue("a number of launches")) return parsed;
      if (!WholeNumber(value, 1, 1'000'000'000, &number))
        return bad("a whole number from 1 to 1000000000");
      options.count = static_cast<std::uint64_t>(number);
    } else if (arg == "--rate") {
      if (!takeValue("launches a second")) return parsed;
      if (!Rate(value, &options.rate))
        return bad("a number of launches a second above 0, at most 10000");
    } else if (arg == "--scanner-delay") {
      if (!takeValue("milliseconds")) return parsed;
      if (!WholeNumber(value, 0, 60'000, &number))
        return bad("a whole number of milliseconds from 0 to 60000");
      options.scannerDelayMs = static_cast<int>(number);
    } else {
      parsed.error = arg.starts_with("-")
                         ? "unknown option '" + name + "'"
                         : "unexpected argument '" + name + "' (options start with --)";
      return parsed;
    }
    if (arg == "--launches" || arg == "--threads" || arg == "--count" || arg == "--rate")
      replayOption = name;
  }
  if (!options.liveFolder.empty() && !replayOption.empty())
    parsed.error = replayOption + ": shapes replayed launches; with --live the system launches";
  if (options.liveFolder.empty() && timeoutGiven)
    parsed.error =
        "--on-timeout: applies to the live guard only (--live DIR); replayed "
        "launches that time out are always denied";
  return parsed;
}
