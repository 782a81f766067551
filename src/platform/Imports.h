#pragma once
// What the module takes from the host's libraries.
//  - Arbiter.dll: CGuardHelper::VtAllowExecution, imported by its Visual C++ decorated name.
//  - Basalt.dll: LogSink, imported by ordinal 8 only.
#include "platform/Win32.h"

class CGuardHelper {
 public:
  // True when the image at the zero-terminated drive-letter path may run.
  static bool VtAllowExecution(const WCHAR* path);
};

// One piece of a log line: length -1 means zero-terminated; otherwise exactly that many bytes.
extern "C" void LogSink(const char* text, int length);
