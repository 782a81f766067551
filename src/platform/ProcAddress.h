#pragma once
// GetProcAddress answers with a generic function pointer; these helpers give it its real type.
#include "platform/Win32.h"

// The entry as a function of type F. The cast goes through void(*)(), the one function type
// that converts to any other without a cast-function-type warning.
template <typename F>
F ProcAs(FARPROC proc) noexcept {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

// The entry's code bytes, for reading an instruction operand.
inline const BYTE* ProcCode(FARPROC proc) noexcept {
  return reinterpret_cast<const BYTE*>(reinterpret_cast<void (*)()>(proc));
}
