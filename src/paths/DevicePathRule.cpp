#include <cstring>
#include <string_view>

#include "paths/PathConverter.h"

namespace PathConverter {
namespace {

constexpr std::u16string_view kObjectManagerPrefix = u"\\??\\";

// Whether `path` begins with all of `prefix`, compared as 16-bit code units. The prefix's last
// character (its backslash) is checked first: that is where paths on HarddiskVolume10 and on
// HarddiskVolume1 part, and where most misses against a map of similar devices show.
bool BeginsWith(const std::u16string& path, const std::u16string& prefix) {
  const std::size_t length = prefix.size();
  if (length == 0 || path.size() < length) return false;
  if (path[length - 1] != prefix[length - 1]) return false;
  return std::memcmp(path.data(), prefix.data(), (length - 1) * sizeof(char16_t)) == 0;
}

}  // namespace

bool ConvertDevicePath(const DriveMap& map, std::u16string& path) {
  for (const DriveMapEntry& entry : map) {
    if (!BeginsWith(path, entry.DevicePrefix)) continue;
    // The device string goes; the backslash after it stays, right after the drive name.
    path.replace(0, entry.DevicePrefix.size() - 1, entry.DriveName);
    return true;
  }
  if (std::u16string_view(path).starts_with(kObjectManagerPrefix)) {
    path.erase(0, kObjectManagerPrefix.size());
    return true;
  }
  return false;
}

}  // namespace PathConverter
