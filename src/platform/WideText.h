#pragma once
// Wide text is UTF-16 (char16_t) in the module on every platform. Windows' WCHAR is wchar_t
// (2 bytes there) and winsim's is char16_t: these casts cross that boundary.
#include <string>

static_assert(sizeof(WCHAR) == sizeof(char16_t), "WCHAR must be a 16-bit code unit");

inline const WCHAR* AsWin(const char16_t* text) {
  return reinterpret_cast<const WCHAR*>(text);
}
inline WCHAR* AsWin(char16_t* text) {
  return reinterpret_cast<WCHAR*>(text);
}
inline const char16_t* FromWin(const WCHAR* text) {
  return reinterpret_cast<const char16_t*>(text);
}
inline char16_t* FromWin(WCHAR* text) {
  return reinterpret_cast<char16_t*>(text);
}
