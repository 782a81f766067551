#pragma once
// How big a storm is: from environment variables so CI and the soak script can size it.
//   VANTOR_STORM_LAUNCHES          launches in a counted storm (default 200000)
//   VANTOR_STORM_CYCLES            Start/Stop cycles spread over the storm (default 1000)
//   VANTOR_STORM_SECONDS           when set, launch until this many seconds have passed instead
//   VANTOR_STORM_CODE_FAILURE_RATE chance that a start or stop code fails (default 0.01)
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

struct StormPlan {
  std::uint64_t launches = 200'000;
  std::uint64_t cycles = 1'000;
  std::chrono::seconds duration{0};  // non-zero: a timed storm
  double codeFailureRate = 0.01;
  unsigned threads = 16;

  bool Timed() const { return duration.count() > 0; }

  static StormPlan FromEnvironment() {
    StormPlan plan;
    plan.launches = Count("VANTOR_STORM_LAUNCHES", plan.launches);
    plan.cycles = Count("VANTOR_STORM_CYCLES", plan.cycles);
    plan.duration = std::chrono::seconds(Count("VANTOR_STORM_SECONDS", 0));
    plan.codeFailureRate = Rate("VANTOR_STORM_CODE_FAILURE_RATE", plan.codeFailureRate);
    return plan;
  }

 private:
  // A set but malformed value is an error, not a silent default: CI would size the wrong run.
  static std::uint64_t Count(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*end != '\0' || text[0] == '-') throw std::invalid_argument(std::string(name) + "=" + text);
    return value;
  }
  static double Rate(const char* name, double fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (*end != '\0' || value < 0.0 || value > 1.0)
      throw std::invalid_argument(std::string(name) + "=" + text);
    return value;
  }
};
