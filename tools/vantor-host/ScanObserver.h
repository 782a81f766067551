#pragma once
// Sits in the scanner stand-in while the host runs: remembers, per kernel path, the path the
// scanner was asked about and the rule that decided, and makes each judgement take as long as
// --scanner-delay says.
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "Arbiter.h"
#include "LaunchSource.h"

class ScanObserver {
 public:
  struct Scan {
    std::u16string path;  // what the scanner was asked: the module's converted path
    std::string rule;     // "line N: deny PATTERN", or empty when the default allowed it
  };

  // Installs itself as the scanner's hook; `source` names the launch being judged.
  ScanObserver(const LaunchSource& source, std::chrono::milliseconds delay);
  ~ScanObserver();
  ScanObserver(const ScanObserver&) = delete;
  ScanObserver& operator=(const ScanObserver&) = delete;

  // The last judgement of a launch at this kernel path. One entry per distinct path, so memory
  // follows the launch set, not the number of launches.
  std::optional<Scan> Last(const std::u16string& kernelPath) const;

 private:
  static bool Judge(const ArbiterChar* path, void* self);

  const LaunchSource& source_;
  const std::chrono::milliseconds delay_;
  mutable std::mutex lock_;
  std::unordered_map<std::u16string, Scan> scans_;
};
