// _time64 and _localtime64 over the real clock, with a seam that fixes the local hour and
// minute or makes the local time unavailable.
#include <atomic>
#include <cstdint>

#include "winsim/Control.h"
#include "winsim/ResetParts.h"

namespace {

enum class Mode : std::uint32_t { Real, Fixed, Unavailable };

// Mode, hour and minute in one word, so a reader never sees a half-made setting.
std::atomic<std::uint32_t> g_setting{0};

std::uint32_t Pack(Mode mode, int hour, int minute) {
  return static_cast<std::uint32_t>(mode) | static_cast<std::uint32_t>(hour) << 8 |
         static_cast<std::uint32_t>(minute) << 16;
}

thread_local std::tm t_localTime{};

}  // namespace

__time64_t _time64(__time64_t* result) {
  const __time64_t now = std::time(nullptr);
  if (result != nullptr) *result = now;
  return now;
}

std::tm* _localtime64(const __time64_t* time) {
  const std::uint32_t setting = g_setting.load(std::memory_order_acquire);
  const auto mode = static_cast<Mode>(setting & 0xFF);
  // The Windows runtime refuses times before 1970 as well as a null pointer.
  if (time == nullptr || *time < 0 || mode == Mode::Unavailable) return nullptr;
  const std::time_t value = *time;
  if (localtime_r(&value, &t_localTime) == nullptr) return nullptr;
  if (mode == Mode::Fixed) {
    t_localTime.tm_hour = static_cast<int>((setting >> 8) & 0xFF);
    t_localTime.tm_min = static_cast<int>((setting >> 16) & 0xFF);
    t_localTime.tm_sec = 0;
  }
  return &t_localTime;
}

namespace winsim {

void SetLocalTime(int hour, int minute) {
  const bool valid = hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59;
  if (!valid) return;
  g_setting.store(Pack(Mode::Fixed, hour, minute), std::memory_order_release);
}

void SetLocalTimeUnavailable() {
  g_setting.store(Pack(Mode::Unavailable, 0, 0), std::memory_order_release);
}

void UseRealClock() {
  g_setting.store(Pack(Mode::Real, 0, 0), std::memory_order_release);
}

namespace detail {
void ResetClock() {
  UseRealClock();
}
}  // namespace detail

}  // namespace winsim
