#pragma once
// Shared by the stress tests: the module harness, Start's and Stop's lines, what was scanned.
#include <algorithm>
#include <atomic>
#include <random>
#include <thread>

#include "module/ModuleHarness.h"

using Outcome = GuardDriver::Outcome;
using LineList = std::vector<std::string>;

inline const std::string kStarted = "1: VtClient\t Started.\n";
inline const std::string kStopped = "1: VtClient\t Stopped.\n";
inline const std::string kStopFailed = "3: VtClient\t Stop IOCTL failed.\n";
inline std::string StartFailed(DWORD error) {
  return "3: VtClient\t Start IOCTL failed. Last Error: " + std::to_string(error) + "\n";
}

// The index-th path the scanner was asked about (check ArbiterQueryCount first).
inline std::u16string Query(int index) {
  return reinterpret_cast<const char16_t*>(ArbiterQuery(index));
}
