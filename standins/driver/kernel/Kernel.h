#pragma once
// The kernel's headers and the small helpers every part of the driver uses. Everything here runs
// at passive level: dispatch routines of a top-level device, a system thread, load and unload.
#include <ntifs.h>

#include <cstdint>

inline constexpr LONGLONG kTicksPerMillisecond = 10'000;  // interrupt time counts 100 ns

// Interrupt time: monotonic, in 100 ns units. On x64 it is read from the kernel's shared data page,
// whose reads Wine's ntoskrnl emulates.
inline LONGLONG Now() {
  return static_cast<LONGLONG>(KeQueryInterruptTime());
}

// The driver's lock: a semaphore of one, held for a scope. Not a spin lock, since everything here
// waits at passive level and x86 keeps the spin lock calls in hal.dll; not a kernel mutex, since
// Wine's hangs a contended waiter (its release never hands the mutex over).
inline void InitializeLock(KSEMAPHORE& lock) {
  KeInitializeSemaphore(&lock, 1, 1);
}

class Locked {
 public:
  explicit Locked(KSEMAPHORE& lock) : lock_(lock) {
    KeWaitForSingleObject(&lock_, Executive, KernelMode, FALSE, nullptr);
  }
  ~Locked() { KeReleaseSemaphore(&lock_, IO_NO_INCREMENT, 1, FALSE); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  KSEMAPHORE& lock_;
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
