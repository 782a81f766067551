// Basalt.dll as a Visual C++ shop builds it: LogSink at ordinal 8, no name, writing each piece to
// standard output.
#include "Kernel32.h"

extern "C" void __cdecl LogSink(const char* text, int length) {
  Print(text, length);
}
