#pragma once
// The storm's scanner, as the arbiter stand-in's hook: decodes the launch index from the path
// it is asked about, counts the question against that launch and answers from the index alone
// (allow, deny or throw).
#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "Arbiter.h"
#include "LaunchLedger.h"
#include "StormPaths.h"

class StormScanner {
 public:
  explicit StormScanner(LaunchLedger& ledger) : ledger_(ledger) {}

  void Install() { ArbiterSetHook(&StormScanner::Decide, this); }

  std::atomic<std::uint64_t> throws{0};
  std::atomic<std::uint64_t> undecodable{0};   // a path in no form a storm launch can take
  std::atomic<std::uint64_t> wrongVolume{0};   // a drive letter that is not the launch's
  std::atomic<std::uint64_t> unknownIndex{0};  // an index never launched
  std::atomic<std::uint64_t> rawC{0};          // C: launches seen unconverted
  std::atomic<std::uint64_t> rawX{0};          // X: launches seen while X: was not mapped
  std::atomic<std::uint64_t> convertedX{0};

 private:
  static bool Decide(const ArbiterChar* text, void* context) {
    return static_cast<StormScanner*>(context)->Answer(
        std::u16string_view(reinterpret_cast<const char16_t*>(text)));
  }

  bool Answer(std::u16string_view path) {
    const auto decoded = storm::Decode(path);
    if (!decoded) {
      ++undecodable;
      return false;
    }
    LaunchLedger::Entry* entry = ledger_.Find(decoded->index);
    if (entry == nullptr || entry->outcome.load() != LaunchLedger::kNotLaunched) {
      // Asked about a launch that was never made, or that already has its outcome.
      ++unknownIndex;
    }
    if (entry != nullptr) entry->asks.fetch_add(1);
    if (storm::VolumeOf(decoded->index) != decoded->volume) ++wrongVolume;
    if (decoded->volume == storm::Volume::C && decoded->form == storm::Form::Raw) ++rawC;
    if (decoded->volume == storm::Volume::X)
      ++(decoded->form == storm::Form::Raw ? rawX : convertedX);

    switch (storm::ScanOf(decoded->index)) {
      case storm::Scan::Throw:
        ++throws;
        throw std::runtime_error("scanner failed");
      case storm::Scan::Deny:
        return false;
      case storm::Scan::Allow:
        break;
    }
    return true;
  }

  LaunchLedger& ledger_;
};
