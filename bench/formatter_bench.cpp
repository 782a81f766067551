// FormatNarrow and FormatWide against glibc's vsnprintf and vswprintf doing the same work:
// (a) the module's own log messages with their values, (b) a mix of padded integers, strings
// and hexadecimal. Our formatter reuses the caller's string (it empties it first); glibc
// writes into a stack buffer. Every formatter goes through a variadic wrapper, so each pays
// the same va_list set-up. Each pair is first checked to produce the same text.
#include <benchmark/benchmark.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

#include "log/Formatter.h"

namespace {

int Narrow(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = FormatNarrow(out, format, args);
  va_end(args);
  return result;
}

int Wide(std::u16string& out, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = FormatWide(out, format, args);
  va_end(args);
  return result;
}

int GlibcNarrow(char (&out)[256], const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = std::vsnprintf(out, sizeof out, format, args);
  va_end(args);
  return result;
}

int GlibcWide(wchar_t (&out)[256], const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = std::vswprintf(out, 256, format, args);
  va_end(args);
  return result;
}

// One pass over a set: `run` is called with each format and its values.
template <typename Out, typename Fn>
void Messages(Out& out, Fn run) {
  run(out, 0, 0x01234560);  // "VtClient\t Initialized, shared buffer ptr: %d\n"
  run(out, 1, 5);           // "VtClient\t Unable to open driver service, err: %#x\n"
  run(out, 2, 9, 5);        // "[%02d:%02d] "
  run(out, 3, 31);          // "VtClient\t Start IOCTL failed. Last Error: %d\n"
  run(out, 4);              // "VtClient\t Started.\n"
}

constexpr const char* kMessagesNarrow[] = {
    "VtClient\t Initialized, shared buffer ptr: %d\n",
    "VtClient\t Unable to open driver service, err: %#x\n",
    "[%02d:%02d] ",
    "VtClient\t Start IOCTL failed. Last Error: %d\n",
    "VtClient\t Started.\n",
};
constexpr const char16_t* kMessagesWide[] = {
    u"VtClient\t Initialized, shared buffer ptr: %d\n",
    u"VtClient\t Unable to open driver service, err: %#x\n",
    u"[%02d:%02d] ",
    u"VtClient\t Start IOCTL failed. Last Error: %d\n",
    u"VtClient\t Started.\n",
};
constexpr const wchar_t* kMessagesGlibcWide[] = {
    L"VtClient\t Initialized, shared buffer ptr: %d\n",
    L"VtClient\t Unable to open driver service, err: %#x\n",
    L"[%02d:%02d] ",
    L"VtClient\t Start IOCTL failed. Last Error: %d\n",
    L"VtClient\t Started.\n",
};

// Padded integers, strings and hexadecimal, in the subset where both languages agree.
constexpr const char* kMixNarrow = "%5d|%-8s|%08x|%12s|%#x|%u|%-6d|%X\n";
constexpr const char16_t* kMixWide = u"%5d|%-8s|%08x|%12s|%#x|%u|%-6d|%X\n";
constexpr const wchar_t* kMixGlibcWide = L"%5d|%-8ls|%08x|%12ls|%#x|%u|%-6d|%X\n";

template <typename Out, typename Fn, typename Text>
void Mix(Out& out, Fn run, Text name, Text path) {
  run(out, 42, name, 0xBEEFu, path, 0x1F4u, 4000000000u, -17, 0xC0FFEEu);
  run(out, -3, name, 0u, path, 7u, 0u, 123456, 0xFFFFFFFFu);
}

// The same formats give the same text from both sides, or the comparison would be unfair.
bool SameTextAsGlibc() {
  bool same = true;
  const auto fail = [&same](const char* what) {
    std::fprintf(stderr, "formatter_bench: %s differs from glibc\n", what);
    same = false;
  };
  std::string ours;
  char theirs[256];
  for (int i = 0; i < 5; ++i) {
    Narrow(ours, kMessagesNarrow[i], 9, 5);
    GlibcNarrow(theirs, kMessagesNarrow[i], 9, 5);
    if (ours != theirs) fail(kMessagesNarrow[i]);
  }
  Narrow(ours, kMixNarrow, 42, "name", 0xBEEFu, "C:\\a\\b", 0x1F4u, 4000000000u, -17, 0xC0FFEEu);
  GlibcNarrow(theirs, kMixNarrow, 42, "name", 0xBEEFu, "C:\\a\\b", 0x1F4u, 4000000000u, -17,
              0xC0FFEEu);
  if (ours != theirs) fail("the mix");
  std::u16string wide;
  wchar_t glibcWide[256];
  Wide(wide, kMixWide, 42, u"name", 0xBEEFu, u"C:\\a\\b", 0x1F4u, 4000000000u, -17, 0xC0FFEEu);
  GlibcWide(glibcWide, kMixGlibcWide, 42, L"name", 0xBEEFu, L"C:\\a\\b", 0x1F4u, 4000000000u, -17,
            0xC0FFEEu);
  if (wide != std::u16string(glibcWide, glibcWide + std::wcslen(glibcWide))) fail("the wide mix");
  return same;
}

bool Comparable(benchmark::State& state) {
  static const bool same = SameTextAsGlibc();
  if (!same) state.SkipWithError("the formatters disagree: not equivalent work");
  return same;
}

void BM_MessagesNarrow(benchmark::State& state) {
  std::string out;
  if (!Comparable(state)) return;
  for (auto _ : state) {
    Messages(out, [](std::string& o, int i, auto... v) {
      benchmark::DoNotOptimize(Narrow(o, kMessagesNarrow[i], v...));
      benchmark::DoNotOptimize(o.data());
    });
  }
}
void BM_MessagesNarrowGlibc(benchmark::State& state) {
  char out[256];
  if (!Comparable(state)) return;
  for (auto _ : state) {
    Messages(out, [](char(&o)[256], int i, auto... v) {
      benchmark::DoNotOptimize(GlibcNarrow(o, kMessagesNarrow[i], v...));
      benchmark::DoNotOptimize(o);
    });
  }
}
void BM_MessagesWide(benchmark::State& state) {
  std::u16string out;
  if (!Comparable(state)) return;
  for (auto _ : state) {
    Messages(out, [](std::u16string& o, int i, auto... v) {
      benchmark::DoNotOptimize(Wide(o, kMessagesWide[i], v...));
      benchmark::DoNotOptimize(o.data());
    });
  }
}
void BM_MessagesWideGlibc(benchmark::State& state) {
  wchar_t out[256];
  if (!Comparable(state)) return;
  for (auto _ : state) {
    Messages(out, [](wchar_t(&o)[256], int i, auto... v) {
      benchmark::DoNotOptimize(GlibcWide(o, kMessagesGlibcWide[i], v...));
      benchmark::DoNotOptimize(o);
    });
  }
}

void BM_MixNarrow(benchmark::State& state) {
  std::string out;
  if (!Comparable(state)) return;
  for (auto _ : state) {
    Mix(
        out,
        [](std::string& o, auto... v) {
          benchmark::DoNotOptimize(Narrow(o, kMixNarrow, v...));
          benchmark::DoNotOptimize(o.data());
        },
        "name", "C:\\a\\b");
  }
}
void BM_MixNarrowGlibc(benchmark::State& state) {
  char out[256];
  if (!Comparable(state)) return;
  for (auto _ : state) {
    Mix(
        out,
        [](char(&o)[256], auto... v) {
          benchmark::DoNotOptimize(GlibcNarrow(o, kMixNarrow, v...));
          benchmark::DoNotOptimize(o);
        },
        "name", "C:\\a\\b");
  }
}
void BM_MixWide(benchmark::State& state) {
  std::u16string out;
  if (!Comparable(state)) return;
  for (auto _ : state) {
    Mix(
        out,
        [](std::u16string& o, auto... v) {
          benchmark::DoNotOptimize(Wide(o, kMixWide, v...));
          benchmark::DoNotOptimize(o.data());
        },
        u"name", u"C:\\a\\b");
  }
}
void BM_MixWideGlibc(benchmark::State& state) {
  wchar_t out[256];
  if (!Comparable(state)) return;
  for (auto _ : state) {
    Mix(
        out,
        [](wchar_t(&o)[256], auto... v) {
          benchmark::DoNotOptimize(GlibcWide(o, kMixGlibcWide, v...));
          benchmark::DoNotOptimize(o);
        },
        L"name", L"C:\\a\\b");
  }
}

}  // namespace

BENCHMARK(BM_MessagesNarrow);
BENCHMARK(BM_MessagesNarrowGlibc);
BENCHMARK(BM_MessagesWide);
BENCHMARK(BM_MessagesWideGlibc);
BENCHMARK(BM_MixNarrow);
BENCHMARK(BM_MixNarrowGlibc);
BENCHMARK(BM_MixWide);
BENCHMARK(BM_MixWideGlibc);
