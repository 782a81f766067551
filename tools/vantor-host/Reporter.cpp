#include "Reporter.h"

#include <algorithm>
#include <cstdio>

#include "HostPlatform.h"
#include "Json.h"
#include "TextFile.h"

namespace {

using textfile::ToUtf8;

constexpr const char* kWhyLaunchesWait =
    "the driver parks one launch at a time in its one record, and the module's pump looks at "
    "that record every 10 ms while it is empty: each launch waits for the launches ahead of it, "
    "plus up to 10 ms to be noticed";

double Ms(std::chrono::nanoseconds d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

bool HasDriveLetter(std::u16string_view path) {
  return path.size() >= 2 && path[1] == u':' &&
         ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

// Why a launch the module did not judge ended as it did.
const char* Unjudged(Outcome outcome) {
  switch (outcome) {
    case Outcome::LetThrough:
      return "the driver was not guarding: it ran unjudged";
    case Outcome::TimedOut:
      return "no verdict within the driver's deadline: fail closed";
    case Outcome::Refused:
      return "the driver could not park it whole: fail closed, never judged";
    case Outcome::Allowed:
    case Outcome::Denied:
      break;
  }
  return "";
}

// Appends an item to a comma-separated JSON list.
void AddItem(std::string& list, const std::string& item) {
  if (!list.empty()) list += ',';
  list += item;
}

std::string BarLabel(const LatencyStats::Bar& bar) {
  char text[32];
  if (bar.toMs == 0) {
    std::snprintf(text, sizeof text, ">= %g ms", bar.fromMs);
  } else {
    std::snprintf(text, sizeof text, "%g-%g ms", bar.fromMs, bar.toMs);
  }
  return text;
}

// Flushes standard output when an entry is written: the Windows runtime buffers it whole, not
// by line, and the module's log lines on standard error must come out in step with it.
struct FlushWhenWritten {
  ~FlushWhenWritten() { std::fflush(stdout); }
};

}  // namespace

std::string PrintableText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = [&](std::size_t k) {
      return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
    };
    char escape[16] = "";
    if (byte == '\n' || byte == '\r' || byte == '\t') {
      std::snprintf(escape, sizeof escape, "\\%c", byte == '\n' ? 'n' : byte == '\r' ? 'r' : 't');
    } else if (byte < 0x20 || byte == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
    } else if (byte == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F) {  // U+0080 to U+009F
      std::snprintf(escape, sizeof escape, "\\u%04X", next(1));
      ++i;
    } else if (byte == 0xE2 && ((next(1) == 0x80 && next(2) >= 0xAA && next(2) <= 0xAE) ||
                                (next(1) == 0x81 && next(2) >= 0xA6 && next(2) <= 0xA9))) {
      // U+202A to U+202E and U+2066 to U+2069: they reorder the text shown around them.
      std::snprintf(escape, sizeof escape, "\\u%04X",
                    0x2000 + ((next(1) & 0x3F) << 6) + (next(2) & 0x3F));
      i += 2;
    }
    if (escape[0] != '\0') {
      out += escape;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

void Reporter::Setup(const RunSetup& setup) {
  const FlushWhenWritten flush;
  const HostOptions& o = options_;
  if (o.json) {
    std::string machine, rules;
    for (const std::string& line : setup.machine) AddItem(machine, JsonText(line));
    for (const auto& rule : setup.policy.rules) {
      AddItem(rules,
              "{\"line\":" + std::to_string(rule.line) + ",\"rule\":" + JsonText(rule.text) + "}");
    }
    std::printf(
        "{\"event\":\"setup\",\"machine\":[%s],\"policy\":{\"source\":%s,\"rules\":[%s]},"
        "\"launches\":{\"source\":%s,\"paths\":%zu,\"count\":%llu,\"threads\":%d,\"rate\":%s,"
        "\"scanner_delay_ms\":%d}}\n",
        machine.c_str(), JsonText(setup.policy.source).c_str(), rules.c_str(),
        JsonText(setup.launchSource).c_str(), setup.paths,
        static_cast<unsigned long long>(setup.count), o.threads,
        o.rate > 0 ? JsonNumber(o.rate, 3).c_str() : "null", o.scannerDelayMs);
    return;
  }
  std::printf("%s\n", kHostTitle);
  for (const std::string& line : setup.machine) std::printf("%s\n", line.c_str());
  std::printf("policy:  %zu rule%s, %s; a path no rule matches is allowed\n",
              setup.policy.rules.size(), setup.policy.rules.size() == 1 ? "" : "s",
              setup.policy.source.c_str());
  for (const auto& rule : setup.policy.rules)
    std::printf("         line %d: %s\n", rule.line, rule.text.c_str());
  if (!o.liveFolder.empty()) {
    std::printf("launches: %s\n", setup.launchSource.c_str());
    if (o.scannerDelayMs > 0) std::printf("scanner: takes %d ms per launch\n", o.scannerDelayMs);
    return;
  }
  std::printf("launches: %zu kernel paths, %s; %llu launches from %d threads, ", setup.paths,
              setup.launchSource.c_str(), static_cast<unsigned long long>(setup.count), o.threads);
  if (o.rate > 0) {
    std::printf("arriving at random moments, %g a second on average\n", o.rate);
  } else {
    std::printf("each thread launching again as soon as its launch has its outcome\n");
  }
  if (o.scannerDelayMs > 0) std::printf("scanner: takes %d ms per launch\n", o.scannerDelayMs);
}

void Reporter::Step(const std::string& text) {
  const FlushWhenWritten flush;
  if (!options_.json) std::printf("%s\n", text.c_str());
}

void Reporter::Launch(const Launched& launched, const ScanObserver& scans,
                      const std::string& origin) {
  const Outcome outcome = launched.result.outcome;
  const bool judged = outcome == Outcome::Allowed || outcome == Outcome::Denied;
  const auto scan = judged ? scans.Last(launched.kernelPath) : std::nullopt;
  std::lock_guard guard(lock_);
  const FlushWhenWritten flush;
  ++counts_[static_cast<std::size_t>(outcome)];
  if (judged) judged_.Add(launched.result.latency);
  const bool live = !options_.liveFolder.empty();
  if (live) queued_.Add(launched.result.queued);
  if (options_.rate > 0 && launched.lateStart > std::chrono::milliseconds(1)) {
    ++lateStarts_;
    latestStart_ = std::max(latestStart_, launched.lateStart);
  }
  if (options_.quiet) return;
  const std::string kernel = ToUtf8(launched.kernelPath);
  const double ms = Ms(launched.result.latency);
  if (options_.json) {
    const std::string path = scan ? JsonText(ToUtf8(scan->path)) : "null";
    const std::string rule = scan ? JsonText(scan->rule.empty() ? "default" : scan->rule) : "null";
    std::printf(
        "{\"event\":\"launch\",\"index\":%llu,\"outcome\":\"%s\",\"latency_ms\":%s,"
        "\"queued_ms\":%s,\"path\":%s,\"rule\":%s,\"kernel_path\":%s,\"origin\":%s}\n",
        static_cast<unsigned long long>(launched.index), OutcomeWord(outcome),
        JsonNumber(ms, 3).c_str(),
        live ? JsonNumber(Ms(launched.result.queued), 3).c_str() : "null", path.c_str(),
        rule.c_str(), JsonText(kernel).c_str(), origin.empty() ? "null" : JsonText(origin).c_str());
    return;
  }
  char queued[64] = "";
  if (live) std::snprintf(queued, sizeof queued, "  queued %.1f ms", Ms(launched.result.queued));
  const std::string from = queued + (origin.empty() ? "" : "  " + PrintableText(origin));
  const std::string kernelText = PrintableText(kernel);
  if (!scan) {
    std::printf("%-11s %8.1f ms  %s  (%s)%s\n", OutcomeWord(outcome), ms, kernelText.c_str(),
                judged                ? "judged; the scanner was not watched"
                : launched.result.why ? launched.result.why
                                      : Unjudged(outcome),
                from.c_str());
    return;
  }
  std::printf("%-11s %8.1f ms  %s  [%s]%s\n", OutcomeWord(outcome), ms,
              PrintableText(ToUtf8(scan->path)).c_str(),
              scan->rule.empty() ? "default" : scan->rule.c_str(), from.c_str());
  if (HasDriveLetter(scan->path)) return;
  if (scan->path == launched.kernelPath) {
    std::printf("%24s(not converted: no drive letter names its device)\n", "");
  } else {
    std::printf("%24skernel path %s (no drive letter names its device)\n", "", kernelText.c_str());
  }
}

void Reporter::Summary(const RunEnd& end) {
  const FlushWhenWritten flush;
  std::lock_guard guard(lock_);
  std::uint64_t total = 0;
  for (const std::uint64_t n : counts_) total += n;
  const double seconds = std::chrono::duration<double>(end.elapsed).count();
  const double throughput = seconds > 0 ? static_cast<double>(total) / seconds : 0.0;
  std::string why = kWhyLaunchesWait;
  if (options_.scannerDelayMs > 0) {
    why += "; and the scanner takes " + std::to_string(options_.scannerDelayMs) +
           " ms per launch, holding every launch queued behind it that long";
  }
  const auto bars = judged_.Bars();
  if (options_.json) {
    std::string histogram;
    for (const auto& bar : bars) {
      AddItem(histogram, "{\"from_ms\":" + JsonNumber(bar.fromMs, 0) +
                             ",\"to_ms\":" + (bar.toMs == 0 ? "null" : JsonNumber(bar.toMs, 0)) +
                             ",\"count\":" + std::to_string(bar.count) + "}");
    }
    std::printf(
        "{\"event\":\"summary\",\"launches\":%llu,\"allowed\":%llu,\"denied\":%llu,"
        "\"let_through\":%llu,\"timed_out\":%llu,\"refused\":%llu,\"interrupted\":%s,"
        "\"latency_ms\":{\"judged\":%llu,\"median\":%s,\"p99\":%s,\"max\":%s,\"histogram\":[%s]},"
        "\"throughput_per_s\":%s,\"seconds\":%s,\"late_starts\":%llu,\"why_launches_wait\":%s,"
        "\"driver\":%s,\"module\":%s,\"exit_code\":%d}\n",
        static_cast<unsigned long long>(total), static_cast<unsigned long long>(counts_[0]),
        static_cast<unsigned long long>(counts_[1]), static_cast<unsigned long long>(counts_[2]),
        static_cast<unsigned long long>(counts_[3]), static_cast<unsigned long long>(counts_[4]),
        end.interrupted ? "true" : "false", static_cast<unsigned long long>(judged_.Count()),
        JsonNumber(judged_.MedianMs(), 3).c_str(),
        JsonNumber(judged_.PercentileMs(0.99), 3).c_str(), JsonNumber(judged_.MaxMs(), 3).c_str(),
        histogram.c_str(), JsonNumber(throughput, 1).c_str(), JsonNumber(seconds, 3).c_str(),
        static_cast<unsigned long long>(lateStarts_), JsonText(why).c_str(),
        JsonText(end.driver).c_str(), JsonText(end.module).c_str(), end.exitCode);
    return;
  }
  std::printf("\nsummary: %llu launches:", static_cast<unsigned long long>(total));
  for (std::size_t i = 0; i < counts_.size(); ++i) {
    std::printf("%s %llu %s", i == 0 ? "" : ",", static_cast<unsigned long long>(counts_[i]),
                OutcomeWord(static_cast<Outcome>(i)));
  }
  std::printf("\n");
  if (judged_.Count() > 0) {
    std::printf(
        "latency of the %llu judged launches, from arrival at the driver to the verdict:\n"
        "  median %.1f ms, 99th percentile %.1f ms, max %.1f ms\n",
        static_cast<unsigned long long>(judged_.Count()), judged_.MedianMs(),
        judged_.PercentileMs(0.99), judged_.MaxMs());
    std::uint64_t most = 1;
    for (const auto& bar : bars) most = std::max(most, bar.count);
    for (const auto& bar : bars) {
      const auto width = static_cast<int>((bar.count * 40 + most - 1) / most);
      std::printf("  %12s  %-40s %llu\n", BarLabel(bar).c_str(),
                  std::string(static_cast<std::size_t>(width), '#').c_str(),
                  static_cast<unsigned long long>(bar.count));
    }
  }
  if (queued_.Count() > 0) {
    std::printf(
        "time queued in the host before the driver, all %llu launches: median %.1f ms, 99th "
        "percentile %.1f ms, max %.1f ms\n",
        static_cast<unsigned long long>(queued_.Count()), queued_.MedianMs(),
        queued_.PercentileMs(0.99), queued_.MaxMs());
  }
  std::printf("throughput: %.0f launches/s over %.2f s\n", throughput, seconds);
  std::printf("why launches wait: %s\n", why.c_str());
  if (lateStarts_ > 0) {
    std::printf(
        "late starts: %llu launches found every launching thread (%d) busy at their arrival "
        "moment and began up to %.1f ms late; raise --threads\n",
        static_cast<unsigned long long>(lateStarts_), options_.threads, Ms(latestStart_));
  }
  if (end.interrupted) std::printf("interrupted: no launch was made after Ctrl-C\n");
  std::printf("driver: %s\nmodule: %s\n", end.driver.c_str(), end.module.c_str());
}

std::uint64_t Reporter::Count(Outcome outcome) const {
  std::lock_guard guard(lock_);
  return counts_[static_cast<std::size_t>(outcome)];
}
