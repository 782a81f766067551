#pragma once
// The lock of the Arbiter and Basalt stand-ins. The product build's toolchain (MinGW-w64 with the
// win32 thread model, so that no winpthread enters vantor.dll) has no std::mutex, so on Windows
// the lock is a slim reader/writer lock taken exclusively.
#if defined(_WIN32)
#include <windows.h>

class StandinMutex {
 public:
  void lock() noexcept { AcquireSRWLockExclusive(&lock_); }
  void unlock() noexcept { ReleaseSRWLockExclusive(&lock_); }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
};
#else
#include <mutex>

using StandinMutex = std::mutex;
#endif
