// The record ends exactly at a no-access page below 4 GiB, as the 32-bit address demands.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>

#include "GuardDriver.h"

namespace {

DWORD ProtectionAt(const void* address) {
  MEMORY_BASIC_INFORMATION info{};
  if (VirtualQuery(address, &info, sizeof info) != sizeof info) return 0;
  return info.Protect;
}

TEST(GuardDriverRecordWindows, EndsAtANoAccessPage) {
  GuardDriver driver;
  const auto* record = reinterpret_cast<const std::uint8_t*>(driver.Slot());
  const std::uint8_t* end = record + GuardDriver::kRecordBytes;
  EXPECT_LT(reinterpret_cast<std::uintptr_t>(end), std::uintptr_t{1} << 32);
  EXPECT_EQ(ProtectionAt(record), static_cast<DWORD>(PAGE_READWRITE));
  EXPECT_EQ(ProtectionAt(end - 1), static_cast<DWORD>(PAGE_READWRITE));
  EXPECT_EQ(ProtectionAt(end), static_cast<DWORD>(PAGE_NOACCESS));
}

}  // namespace
