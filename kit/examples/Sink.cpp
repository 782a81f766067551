// Basalt.dll built from the kit alone: writes each piece to standard output as it arrives. The
// message's length counts its zero byte, which a written log must not hold: take the bytes up
// to the first zero.
#include <vantor/LogSink.h>
#include <windows.h>

extern "C" void __cdecl LogSink(const char* text, int length) {
  int size = 0;
  while ((length == -1 || size < length) && text[size] != '\0') ++size;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(size), &written, nullptr);
}
