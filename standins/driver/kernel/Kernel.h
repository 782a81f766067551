#pragma once
// The kernel's headers and the small helpers every part of the driver uses. Everything here runs
// at passive level: dispatch routines of a top-level device, a system thread, load and unload.
#include <ntifs.h>

#include <cstdint>

inline constexpr LONGLONG kTicksPerMillisecond = 10'000;  // interrupt time counts 100 ns

// Interrupt time: monotonic, in 100 ns units.
inline LONGLONG Now() {
  return static_cast<LONGLONG>(KeQueryInterruptTime());
}

// Holds a kernel mutex for its scope. A mutex rather than a spin lock: everything waits at passive
// level, and the mutex calls live in ntoskrnl.exe on every architecture.
class MutexLock {
 public:
  explicit MutexLock(KMUTEX& mutex) : mutex_(mutex) {
    KeWaitForSingleObject(&mutex_, Executive, KernelMode, FALSE, nullptr);
  }
  ~MutexLock() { KeReleaseMutex(&mutex_, FALSE); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  KMUTEX& mutex_;
};

// The record's Pending word is shared with the module in the host process: the path is written
// before Pending is set (release), and Verdict is read after Pending is seen clear (acquire).
inline std::uint32_t LoadAcquire(const std::uint32_t& word) {
  return __atomic_load_n(&word, __ATOMIC_ACQUIRE);
}
inline void StoreRelease(std::uint32_t& word, std::uint32_t value) {
  __atomic_store_n(&word, value, __ATOMIC_RELEASE);
}

inline OBJECT_ATTRIBUTES KernelHandleAttributes() {
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
  return attributes;
}
