#pragma once
// The loaded module (DLL or shared object) that holds a given function's code.
#include "platform/Handles.h"
#include "platform/Win32.h"

namespace detail {
template <typename F>
LPCWSTR CodeAddress(F* code) noexcept {
  return reinterpret_cast<LPCWSTR>(reinterpret_cast<void (*)()>(code));
}
}  // namespace detail

// One more reference to the module holding `code`: it stays loaded until the reference is given
// back. Empty when the module cannot be found (GetLastError tells why).
template <typename F>
UniqueModuleReference ReferenceModuleOf(F* code) noexcept {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, detail::CodeAddress(code), &module);
  return UniqueModuleReference(module);
}

// The module holding `code`, without a new reference: for giving back one taken earlier.
template <typename F>
HMODULE ModuleOf(F* code) noexcept {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      detail::CodeAddress(code), &module);
  return module;
}
