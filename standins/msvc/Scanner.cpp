// Arbiter.dll as a Visual C++ shop builds it: CGuardHelper::VtAllowExecution exported under the
// name its compiler decorates, and real C++ exceptions thrown through the system's msvcrt.dll.
// A path naming "throw" throws with a cleanup armed in the frame, and ScannerUnwound() counts the
// cleanups the unwinds ran; "fault" writes through a null pointer; "raise" raises a continuable
// code; "overflow" calls itself until the stack runs out; "deny" is refused; anything else may run.

#include "Kernel32.h"

class CGuardHelper {
 public:
  static __declspec(dllexport) bool VtAllowExecution(const wchar_t* path);
};

namespace {

int unwound = 0;
struct Armed {
  ~Armed() { ++unwound; }
};
struct Refusal {
  int code;
};

volatile int unboundedDepth = 1 << 30;  // volatile: no bound the compiler could see
int Descend(int depth) {
  volatile char frame[1024];
  frame[0] = static_cast<char>(depth);
  return depth == 0 ? 0 : Descend(depth - 1) + frame[0];
}

bool Names(const wchar_t* path, const wchar_t* word) {
  for (; *path != L'\0'; ++path) {
    const wchar_t* at = path;
    const wchar_t* want = word;
    while (*want != L'\0' && *at == *want) ++at, ++want;
    if (*want == L'\0') return true;
  }
  return false;
}

}  // namespace

bool CGuardHelper::VtAllowExecution(const wchar_t* path) {
  if (Names(path, L"throw")) {
    Armed armed;
    throw Refusal{5};
  }
  if (Names(path, L"fault")) {
    int* volatile nowhere = nullptr;
    *nowhere = 1;
  }
  if (Names(path, L"raise")) RaiseException(0x0BADC0DE, 0, 0, nullptr);
  if (Names(path, L"overflow")) return Descend(unboundedDepth) != 0;
  return !Names(path, L"deny");
}

extern "C" __declspec(dllexport) int ScannerUnwound() {
  return unwound;
}
