#pragma once
// The few kernel32.dll functions the partners call, declared by hand: they are built with no
// runtime library and no Windows headers, as the smallest Visual C++ binaries are.
using HandleT = void*;
constexpr unsigned long kStdInput = static_cast<unsigned long>(-10);
constexpr unsigned long kStdOutput = static_cast<unsigned long>(-11);

extern "C" {
__declspec(dllimport) HandleT __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(HandleT file, const void* bytes, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) int __stdcall ReadFile(HandleT file, void* bytes, unsigned long size,
                                             unsigned long* read, void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);
}

// Writes the text to standard output, as far as its terminating zero or the length.
inline void Print(const char* text, int length = -1) {
  unsigned long size = 0;
  while ((length < 0 || size < static_cast<unsigned long>(length)) && text[size] != '\0') ++size;
  unsigned long written = 0;
  WriteFile(GetStdHandle(kStdOutput), text, size, &written, nullptr);
}
