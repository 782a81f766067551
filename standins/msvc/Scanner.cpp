// Arbiter.dll as a Visual C++ shop builds it: CGuardHelper::VtAllowExecution exported under the
// name its compiler decorates, and real C++ exceptions thrown through the system's msvcrt.dll.
// A path naming "throw" throws with a cleanup armed in the frame, and ScannerUnwound() counts the
// cleanups the unwinds ran; "fault" writes through a null pointer; "deny" is refused; anything
// else may run.

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
  return !Names(path, L"deny");
}

extern "C" __declspec(dllexport) int ScannerUnwound() {
  return unwound;
}
