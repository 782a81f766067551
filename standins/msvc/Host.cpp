// A host as a Visual C++ shop builds it: it calls vantor.dll through the names its own compiler
// decorates. It starts guarding, waits until standard input ends (launches arrive meanwhile),
// stops, and reports each call's result and the scanner's unwound cleanups on standard output.
#include "Kernel32.h"

class __declspec(dllimport) CVantor {
 public:
  static bool Start();
  static bool Stop();
  CVantor& operator=(const CVantor& other);
};

extern "C" __declspec(dllimport) int ScannerUnwound();  // Arbiter.dll's count

namespace {

void Report(const char* what, bool result) {
  Print(what);
  Print(result ? " true\n" : " false\n");
}

}  // namespace

extern "C" void HostMain() {
  Report("host: Start", CVantor::Start());
  char byte = 0;
  unsigned long read = 0;
  while (ReadFile(GetStdHandle(kStdInput), &byte, 1, &read, nullptr) != 0 && read != 0) {
  }
  Report("host: Stop", CVantor::Stop());
  CVantor one;
  const CVantor other;
  Report("host: operator= returns its object", &(one = other) == &one);
  const char count[] = {static_cast<char>('0' + ScannerUnwound() % 10), '\n', '\0'};
  Print("host: cleanups the scanner's unwinds ran: ");
  Print(count);
  ExitProcess(0);
}
