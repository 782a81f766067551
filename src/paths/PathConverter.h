#pragma once
// The path converter: turns the kernel's device paths (\Device\HarddiskVolume2\Windows\a.exe)
// into drive-letter paths (C:\Windows\a.exe) with a table of the machine's logical drives.
#include <string>
#include <vector>

// One logical drive: the device string its letter refers to, followed by one backslash, and
// the drive's name (letter and colon).
struct DriveMapEntry {
  std::u16string DevicePrefix;  // e.g. \Device\HarddiskVolume1\ (always ends with a backslash)
  std::u16string DriveName;     // e.g. C:

  bool operator==(const DriveMapEntry&) const = default;
};

// Entries in the order of the system's drive list; duplicates of a device are kept.
using DriveMap = std::vector<DriveMapEntry>;

namespace PathConverter {

// Load time: builds the module's drive map and logs one error line when that fails. If memory
// runs out, the map is released and the allocation failure passes on to the caller.
void Initialize();

// Empties the module's drive map and refills it from the logical drives. True if and only if
// the map holds at least one entry afterwards; every failure leaves it empty.
bool BuildDriveMap();

// Rewrites `path` in place with the module's drive map. True if and only if it was rewritten;
// on false the path is left exactly as it was.
bool ConvertDevicePath(std::u16string& path);

// Unload time: destroys the entries and releases the map's storage.
void Release();

// The module's drive map, read-only.
const DriveMap& CurrentDriveMap();

// The conversion rule over a given map: the first entry whose whole DevicePrefix begins the
// path swaps the device string (the prefix without its backslash) for the drive name; with no
// such entry a leading "\??\" is removed; otherwise the path stays as it was and false returns.
bool ConvertDevicePath(const DriveMap& map, std::u16string& path);

}  // namespace PathConverter
