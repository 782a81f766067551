// The cost of one GuardLog line: clock and timestamp, the message, the level prefix and the
// two-step narrow conversion, ending in a sink that takes each piece and drops it. Baselines:
// formatting the same message alone and reading the local time, which every line pays.
#include <benchmark/benchmark.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "log/Formatter.h"
#include "log/GuardLog.h"
#include "platform/Win32.h"

// This program's LogSink takes the place of Basalt's: it honours the contract (a length of -1
// is measured) and discards the text, so only GuardLog's own work is timed.
extern "C" void LogSink(const char* text, int length) {
  std::size_t size = length == -1 ? std::strlen(text) : static_cast<std::size_t>(length);
  benchmark::DoNotOptimize(text);
  benchmark::DoNotOptimize(size);
}

namespace {

constexpr const char16_t* kMessage = u"VtClient\t Start IOCTL failed. Last Error: %d\n";

int FormatOnly(std::u16string& output, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = FormatWide(output, format, args);
  va_end(args);
  return result;
}

void BM_FormatMessageOnly(benchmark::State& state) {
  for (auto _ : state) {
    std::u16string message;
    benchmark::DoNotOptimize(FormatOnly(message, kMessage, 31));
    benchmark::DoNotOptimize(message.data());
  }
}
BENCHMARK(BM_FormatMessageOnly);

// The clock read and local-time break-down that every line's timestamp starts from.
void BM_LocalTimeOnly(benchmark::State& state) {
  for (auto _ : state) {
    const __time64_t now = _time64(nullptr);
    benchmark::DoNotOptimize(_localtime64(&now));
  }
}
BENCHMARK(BM_LocalTimeOnly);

void BM_GuardLogLine(benchmark::State& state) {
  for (auto _ : state) GuardLog(3, kMessage, 31);
}
BENCHMARK(BM_GuardLogLine);

void BM_GuardLogFilteredLevel(benchmark::State& state) {
  for (auto _ : state) GuardLog(0, kMessage, 31);
}
BENCHMARK(BM_GuardLogFilteredLevel);

}  // namespace
