#pragma once
// Static storage for one module-level object whose life the load and unload steps decide. The
// storage is constant-initialised and trivially destructible: no constructor runs when the
// module is mapped and no destructor is registered behind the steps' back. Create brings the
// object to life, empty; Destroy ends it; in between it is used through * and ->.
#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

template <typename T>
class ModuleObject {
  static_assert(std::is_nothrow_default_constructible_v<T>, "an empty object cannot fail");

 public:
  void Create() noexcept { std::construct_at(Get()); }
  void Destroy() noexcept { std::destroy_at(Get()); }
  T& operator*() noexcept { return *Get(); }
  T* operator->() noexcept { return Get(); }

 private:
  T* Get() noexcept { return std::launder(reinterpret_cast<T*>(storage_)); }

  alignas(T) std::byte storage_[sizeof(T)]{};
};
