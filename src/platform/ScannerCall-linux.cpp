// Linux: a C++ exception is the only way a scanner call can fail short of ending the process.
#include "platform/Imports.h"
#include "platform/ScannerCall.h"

extern "C" ScannerAnswer AskScanner(const WCHAR* path) noexcept {
  try {
    return CGuardHelper::VtAllowExecution(path) ? ScannerAnswer::Allowed : ScannerAnswer::Denied;
  } catch (...) {
    return ScannerAnswer::Raised;
  }
}
