// Partner DLLs with the mistakes integrators make, for vantor-check's own tests. Each DLL is
// this file with a .def of its own, which decides what is exported under which name.
class CGuardHelper {
 public:
  static bool VtAllowExecution(const wchar_t* path);
};
bool CGuardHelper::VtAllowExecution(const wchar_t*) {
  return true;
}

extern "C" {
void LogSink(const char*, int) {}
#if defined(__i386__)
// The right names, the wrong convention: each removes its own arguments.
bool __stdcall StdcallScanner(const wchar_t*) {
  return true;
}
void __stdcall StdcallSink(const char*, int) {}
#endif
// Answers a path, faults on the empty one.
bool FaultingScanner(const wchar_t* path) {
  static int* volatile nowhere = nullptr;
  if (*path == L'\0') *nowhere = 1;
  return true;
}
}
