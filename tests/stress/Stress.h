#pragma once
// Shared by the stress tests: the module harness and what was scanned.
#include <algorithm>
#include <atomic>
#include <random>
#include <thread>

#include "module/ModuleHarness.h"

using Outcome = GuardDriver::Outcome;

// The index-th path the scanner was asked about (check ArbiterQueryCount first).
inline std::u16string Query(int index) {
  return reinterpret_cast<const char16_t*>(ArbiterQuery(index));
}
