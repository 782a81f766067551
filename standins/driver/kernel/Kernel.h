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

// The driver's lock: a semaphore of one. Not a spin lock, since everything it guards waits at
// passive level and x86 keeps the spin lock calls in hal.dll; not a kernel mutex, since Wine's
// hangs a contended waiter (its release never hands the mutex over). It is held inside a critical
// region: a thread suspended while holding it would stall every dispatch routine and the worker.
inline void InitializeLock(KSEMAPHORE& lock) {
  KeInitializeSemaphore(&lock, 1, 1);
}
inline void AcquireLock(KSEMAPHORE& lock) {
  KeEnterCriticalRegion();
  KeWaitForSingleObject(&lock, Executive, KernelMode, FALSE, nullptr);
}
inline void ReleaseLock(KSEMAPHORE& lock) {
  KeReleaseSemaphore(&lock, IO_NO_INCREMENT, 1, FALSE);
  KeLeaveCriticalRegion();
}

class Locked {
 public:
  explicit Locked(KSEMAPHORE& lock) : lock_(lock) { AcquireLock(lock_); }
  ~Locked() { ReleaseLock(lock_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  KSEMAPHORE& lock_;
};

inline OBJECT_ATTRIBUTES KernelHandleAttributes() {
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
  return attributes;
}
