#pragma once
// Per-launch bookkeeping of a storm, indexed by launch: how often the scanner was asked about
// it and what the driver reported. Storage grows in chunks as launches are made, so a timed
// storm needs no size up front; entries never move.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

class LaunchLedger {
 public:
  static constexpr std::uint8_t kNotLaunched = 0xFF;
  struct Entry {
    std::atomic<std::uint32_t> asks{0};
    std::atomic<std::uint8_t> outcome{kNotLaunched};  // a GuardDriver::Outcome once launched
  };
  static constexpr std::uint64_t kChunkEntries = 1u << 16;
  static constexpr std::uint64_t kChunks = 1u << 14;
  static constexpr std::uint64_t kCapacity = kChunkEntries * kChunks;

  LaunchLedger() = default;
  ~LaunchLedger() {
    for (auto& chunk : chunks_) delete[] chunk.load();
  }
  LaunchLedger(const LaunchLedger&) = delete;
  LaunchLedger& operator=(const LaunchLedger&) = delete;

  // The entry of a launch about to be made; creates its chunk on first use.
  Entry& Open(std::uint64_t index) {
    std::atomic<Entry*>& slot = chunks_.at(index / kChunkEntries);
    Entry* chunk = slot.load(std::memory_order_acquire);
    if (chunk == nullptr) {
      auto fresh = std::make_unique<Entry[]>(kChunkEntries);
      if (slot.compare_exchange_strong(chunk, fresh.get(), std::memory_order_acq_rel)) {
        chunk = fresh.release();
      }
    }
    return chunk[index % kChunkEntries];
  }

  // The entry of an index, or null when no launch of its chunk was ever opened (a path the
  // storm never launched).
  Entry* Find(std::uint64_t index) const {
    if (index >= kCapacity) return nullptr;
    Entry* chunk = chunks_[index / kChunkEntries].load(std::memory_order_acquire);
    return chunk == nullptr ? nullptr : &chunk[index % kChunkEntries];
  }

 private:
  std::array<std::atomic<Entry*>, kChunks> chunks_{};
};
