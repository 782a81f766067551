#pragma once
// RAII owners for kernel handles, service-manager handles and module references: given back on
// every path.
#include <utility>

#include "platform/Win32.h"

template <typename Traits>
class UniqueOwner {
 public:
  using Handle = typename Traits::Handle;

  constexpr UniqueOwner() noexcept = default;
  explicit UniqueOwner(Handle handle) noexcept : handle_(handle) {}
  UniqueOwner(const UniqueOwner&) = delete;
  UniqueOwner& operator=(const UniqueOwner&) = delete;
  UniqueOwner(UniqueOwner&& other) noexcept : handle_(other.release()) {}
  UniqueOwner& operator=(UniqueOwner&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~UniqueOwner() { reset(); }

  Handle get() const noexcept { return handle_; }
  bool valid() const noexcept { return Traits::IsValid(handle_); }
  explicit operator bool() const noexcept { return valid(); }

  // Closes the handle held (if it is open) and takes the new one.
  void reset(Handle handle = Traits::Empty()) noexcept {
    if (Traits::IsValid(handle_)) Traits::Close(handle_);
    handle_ = handle;
  }
  Handle release() noexcept { return std::exchange(handle_, Traits::Empty()); }

 private:
  Handle handle_ = Traits::Empty();
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static constexpr Handle Empty() noexcept { return nullptr; }
  // CreateFileW fails with INVALID_HANDLE_VALUE, other creators with null: neither is open.
  static bool IsValid(Handle h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { ::CloseHandle(h); }
};

struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static constexpr Handle Empty() noexcept { return nullptr; }
  static bool IsValid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { ::CloseServiceHandle(h); }
};

// A counted reference to a loaded module: the module stays loaded until it is given back.
struct ModuleReferenceTraits {
  using Handle = HMODULE;
  static constexpr Handle Empty() noexcept { return nullptr; }
  static bool IsValid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { ::FreeLibrary(h); }
};

using UniqueHandle = UniqueOwner<KernelHandleTraits>;
using UniqueServiceHandle = UniqueOwner<ServiceHandleTraits>;
using UniqueModuleReference = UniqueOwner<ModuleReferenceTraits>;
