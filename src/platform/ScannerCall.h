#pragma once
// The module's one call into the scanner library, shielded: nothing the scanner raises gets past
// it. The pump answers "may not run" for Raised and serves on.
#include "platform/Win32.h"

enum class ScannerAnswer : int { Denied = 0, Allowed = 1, Raised = 2 };

// Asks CGuardHelper::VtAllowExecution about the zero-terminated path. Raised means the call ended
// in an exception instead of an answer. On Windows that is any structured exception (a Visual C++
// or GCC C++ exception, an access violation or other fault, any RaiseException code), unwound
// back to this frame so that the scanner's own cleanups run; on Linux any C++ exception.
extern "C" ScannerAnswer AskScanner(const WCHAR* path) noexcept;
