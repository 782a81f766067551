#include "paths/DriveMapBuild.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/Win32.h"

namespace PathConverter {
namespace {

// Reads the drive list ("C:\", NUL, "D:\", NUL, ..., NUL) and returns its roots without their
// trailing backslash, in list order. Empty when the list cannot be read.
std::vector<std::u16string> ReadDriveNames() {
  std::vector<std::u16string> names;
  DWORD size = GetLogicalDriveStringsW(0, nullptr);
  if (size == 0) return names;

  std::vector<char16_t> list;
  DWORD written = 0;
  for (int read = 1;; ++read) {
    list.assign(size, u'\0');
    written = GetLogicalDriveStringsW(size, AsWin(list.data()));
    // Success reports the characters written without the final NUL, so it is below `size`.
    // Otherwise a drive appeared since the size was asked for: the result is the size the
    // list now needs, and nothing usable is in the buffer.
    if (written < size) break;
    if (read == kDriveListReads) return names;
    size = std::max(written, size + 1);
  }

  // Characters 0 .. written-1; each NUL ends a root that began after the previous one. The
  // root's last character is its backslash (C:\ gives C:); a root too short to leave a name
  // names no drive.
  std::size_t rootStart = 0;
  for (std::size_t i = 0; i < written; ++i) {
    if (list[i] != u'\0') continue;
    if (i - rootStart > 1) names.emplace_back(list.data() + rootStart, i - rootStart - 1);
    rootStart = i + 1;
  }
  return names;
}

}  // namespace

bool RefillDriveMap(DriveMap& map) {
  // Emptied first, so every early return below leaves an empty map behind.
  map.clear();

  std::vector<std::u16string> driveNames = ReadDriveNames();
  if (driveNames.empty()) return false;

  std::array<char16_t, MAX_PATH> device{};
  for (const std::u16string& name : driveNames) {
    if (QueryDosDeviceW(AsWin(name.c_str()), AsWin(device.data()), MAX_PATH) == 0) continue;
    // Only the first string of the answer counts; a missing NUL must not take the read past
    // the buffer.
    const auto end = std::find(device.begin(), device.end(), u'\0');
    std::u16string prefix(device.begin(), end);
    prefix += u'\\';
    map.push_back(DriveMapEntry{std::move(prefix), name});
  }
  return !map.empty();
}

}  // namespace PathConverter
