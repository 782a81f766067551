#pragma once
// The module's one call into the scanner library, shielded: nothing the scanner raises gets past
// it. The pump answers "may not run" for Raised and serves on.
#include "platform/Win32.h"

enum class ScannerAnswer : int { Denied = 0, Allowed = 1, Raised = 2 };

// Asks CGuardHelper::VtAllowExecution about the zero-terminated path. Raised means the call ended
// in an exception instead of an answer. On Windows that is any structured exception (a Visual C++
// or GCC C++ exception, an access violation or other fault, any RaiseException code), unwound
// back to this frame so that the scanner's own cleanups run; on Linux any C++ exception. On
// Windows a stack overflow is one too, every time (ArmScannerStack).
extern "C" ScannerAnswer AskScanner(const WCHAR* path) noexcept;

// Windows: makes the calling thread's next stack overflow an exception with stack left to handle
// it (see ScannerStack-windows.cpp). AskScanner calls it before each scanner call.
extern "C" void ArmScannerStack() noexcept;
