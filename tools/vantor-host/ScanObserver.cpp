#include "ScanObserver.h"

#include <thread>

ScanObserver::ScanObserver(const LaunchSource& source, std::chrono::milliseconds delay)
    : source_(source), delay_(delay) {
  ArbiterSetRecording(0);  // the host runs unbounded numbers of launches
  ArbiterSetHook(&ScanObserver::Judge, this);
}

ScanObserver::~ScanObserver() {
  ArbiterSetHook(nullptr, nullptr);
}

bool ScanObserver::Judge(const ArbiterChar* path, void* self) {
  auto& observer = *static_cast<ScanObserver*>(self);
  // A slow scanner holds the pump, and with it every launch queued behind this one.
  if (observer.delay_.count() > 0) std::this_thread::sleep_for(observer.delay_);
  char rule[1024] = "";
  const bool allowed = ArbiterExplain(path, rule, sizeof rule) != 0;
  Scan scan{reinterpret_cast<const char16_t*>(path), rule};
  std::u16string kernelPath = observer.source_.ParkedPath();
  std::lock_guard guard(observer.lock_);
  observer.scans_.insert_or_assign(std::move(kernelPath), std::move(scan));
  return allowed;
}

std::optional<ScanObserver::Scan> ScanObserver::Last(const std::u16string& kernelPath) const {
  std::lock_guard guard(lock_);
  const auto found = scans_.find(kernelPath);
  if (found == scans_.end()) return std::nullopt;
  return found->second;
}
