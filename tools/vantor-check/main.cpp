// vantor-check: checks an integrator's Arbiter.dll and Basalt.dll the way vantor.dll will bind
// to them and call them, before anything else runs: exports and ordinal, the scanner's answers
// and speed, the sink's three pieces, each problem in words with its fix.
//   vantor-check [ARBITER_DLL [BASALT_DLL]]    (default: Arbiter.dll and Basalt.dll)
// Exit code: 0 when both pass, 1 when a check failed, 2 on bad arguments.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "CheckedCall.h"
#include "Diagnosis.h"
#include "Exports.h"

namespace {

int problems = 0;

void Ok(const std::string& text) {
  std::printf("  ok: %s\n", text.c_str());
}
void Fail(const std::string& text) {
  std::printf("  FAIL: %s\n", text.c_str());
  ++problems;
}
void Warn(const std::string& text) {
  std::printf("  warning: %s\n", text.c_str());
}

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", value);
  return text;
}

// Loads the library and lists its exports; false, with the reason printed, if it cannot load.
bool LoadAndList(const char* file, std::vector<Export>* exports) {
  std::printf("%s:\n", file);
  const HMODULE module = LoadLibraryA(file);
  if (module == nullptr) {
    const DWORD error = GetLastError();
    Fail(std::string("cannot be loaded (error ") + std::to_string(error) +
         "): " + LoadFailureReason(error));
    return false;
  }
  *exports = ExportsOf(module);
  for (const Export& item : *exports) {
    std::printf("  export: ordinal %lu %s\n", item.ordinal,
                item.name.empty() ? "(no name)" : item.name.c_str());
  }
  return true;
}

double Microseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) * 1e6 /
         static_cast<double>(frequency.QuadPart);
}

// One scanner call. An exception is a warning (vantor.dll denies and serves on); the wrong
// convention is a failure, since vantor.dll's stack would be off after every launch.
enum class Answer { Given, Raised, WrongConvention };
Answer AskScanner(const void* scanner, const wchar_t* path, bool* allowed, double* micros) {
  const std::uintptr_t argument = reinterpret_cast<std::uintptr_t>(path);
  LARGE_INTEGER from, to;
  QueryPerformanceCounter(&from);
  const CallResult result = CheckedCall(scanner, 1, &argument);
  QueryPerformanceCounter(&to);
  *micros = Microseconds(from, to);
  *allowed = (result.value & 0xFF) != 0;  // a bool comes back in the low byte only
  if (result.bytesPopped != 0) {
    Fail(ConventionProblem("the scanner", result.bytesPopped, kScannerFix));
    return Answer::WrongConvention;
  }
  if (result.raised != 0) {
    Warn("raised exception " + Hex(result.raised) + " for " +
         (*path ? "a path" : "the empty path") +
         ": vantor.dll denies such a launch and serves on, but a scanner should answer");
    return Answer::Raised;
  }
  return Answer::Given;
}

void CheckScanner(const char* file) {
  std::vector<Export> exports;
  if (!LoadAndList(file, &exports)) return;
  const auto found = std::find_if(exports.begin(), exports.end(),
                                  [](const Export& e) { return e.name == kScannerExport; });
  if (found == exports.end()) {
    Fail(ScannerExportProblem(exports));
    return;
  }
  Ok(std::string("exports ") + kScannerExport);
  // A path that exists on any Windows, and the empty path, which the module passes on too.
  const wchar_t* const paths[] = {L"C:\\Windows\\System32\\notepad.exe", L""};
  const void* const scanner = reinterpret_cast<const void*>(found->address);
  bool allowed = false;
  double micros = 0;
  Answer answers[2];
  for (int i = 0; i < 2; ++i) {
    answers[i] = AskScanner(scanner, paths[i], &allowed, &micros);
    if (answers[i] == Answer::WrongConvention) return;
    if (answers[i] == Answer::Given) {
      Ok(std::string("answers ") + (allowed ? "allowed" : "denied") + " for " +
         (i == 0 ? "C:\\Windows\\System32\\notepad.exe" : "the empty path"));
    }
  }
  if (answers[0] != Answer::Given) return;
  std::vector<double> times;
  for (int i = 0; i < 100 && AskScanner(scanner, paths[0], &allowed, &micros) == Answer::Given;
       ++i) {
    times.push_back(micros);
  }
  if (times.size() < 100) return;
  std::sort(times.begin(), times.end());
  char line[160];
  const double median = (times[49] + times[50]) / 2;
  std::snprintf(line, sizeof line, "100 answers: median %.1f us, slowest %.1f us", median,
                times.back());
  Ok(line);
  if (median > 10'000) {
    Warn("every launch on the machine waits for the scanner's answer; this one takes over 10 ms");
  }
}

void CheckSink(const char* file) {
  std::vector<Export> exports;
  if (!LoadAndList(file, &exports)) return;
  const auto found =
      std::find_if(exports.begin(), exports.end(), [](const Export& e) { return e.ordinal == 8; });
  if (found == exports.end()) {
    Fail(SinkExportProblem(exports));
    return;
  }
  if (found->name.empty()) {
    Ok("ordinal 8 exported without a name");
  } else {
    Warn("ordinal 8 also has the name " + found->name +
         "; vantor.dll binds to the ordinal only, so the name is not needed");
  }
  // One line as the module sends it: time (8 bytes), level (-1: measure it), message (its
  // length counts the terminating zero).
  static const char kTime[] = "[12:34] ", kLevel[] = "1: ", kMessage[] = "vantor-check\t test.\n";
  const std::uintptr_t pieces[3][2] = {
      {reinterpret_cast<std::uintptr_t>(kTime), 8},
      {reinterpret_cast<std::uintptr_t>(kLevel), static_cast<std::uintptr_t>(-1)},
      {reinterpret_cast<std::uintptr_t>(kMessage), sizeof kMessage}};
  for (const auto& piece : pieces) {
    const CallResult result = CheckedCall(reinterpret_cast<const void*>(found->address), 2, piece);
    if (result.raised != 0) {
      Fail("the sink raised exception " + Hex(result.raised) +
           " on a piece of a log line; nothing in vantor.dll catches that");
      return;
    }
    if (result.bytesPopped != 0) {
      Fail(ConventionProblem("the sink", result.bytesPopped, kSinkFix));
      return;
    }
  }
  Ok("took the three pieces of a line (lengths 8, -1 and the message's with its zero byte)");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 3 || (argc > 1 && argv[1][0] == '-')) {
    std::fputs("usage: vantor-check [ARBITER_DLL [BASALT_DLL]]\n", stderr);
    return 2;
  }
  std::printf("vantor-check (%s): Arbiter.dll and Basalt.dll as vantor.dll binds and calls them\n",
              sizeof(void*) == 4 ? "x86" : "x64");
  CheckScanner(argc > 1 ? argv[1] : "Arbiter.dll");
  CheckSink(argc > 2 ? argv[2] : "Basalt.dll");
  std::printf("%d problem%s\n", problems, problems == 1 ? "" : "s");
  return problems == 0 ? 0 : 1;
}
