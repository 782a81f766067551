// Fuzzes the device-path conversion. The input describes a drive map (device strings and
// drive names, shaped as a build makes them: the device string plus one backslash) and a
// path, often one that shares a prefix with an entry. Either the map is used as given, or the
// device strings are installed as winsim drives and the map is built from them. Checks:
//   - false leaves the path exactly as it was;
//   - true after a match: the first entry whose whole prefix begins the path was used, the
//     result is its drive name followed by the rest of the path from the prefix's backslash
//     on, so it starts with the drive name and a backslash and is no longer than the swap of
//     prefix for drive name makes it;
//   - true without a match: the path began with "\??\" and lost exactly those four units.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "paths/DriveMapBuild.h"
#include "paths/PathConverter.h"
#include "winsim/Control.h"

namespace {

// Units from a small alphabet most of the time, so prefixes collide; any unit otherwise.
std::u16string TakeText(FuzzedDataProvider& input, std::size_t maxLength) {
  static constexpr char16_t kAlphabet[] = {u'\\', u'?', u'D', u'e',  u'v', u'V', u'1', u'0',
                                           u':',  u'C', u'c', u'\0', u'.', u'U', u'N'};
  const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, maxLength);
  std::u16string text;
  for (std::size_t i = 0; i < length && input.remaining_bytes() > 0; ++i) {
    const auto byte = input.ConsumeIntegral<std::uint8_t>();
    if (byte < 0xF0) {
      text += kAlphabet[byte % std::size(kAlphabet)];
    } else {
      text += static_cast<char16_t>(input.ConsumeIntegral<std::uint16_t>());
    }
  }
  return text;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

bool BeginsWith(const std::u16string& text, const std::u16string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (text[i] != prefix[i]) return false;
  }
  return true;
}

// A build over winsim drives A:, B:, ... answering the given device strings.
DriveMap BuildOverWinsim(const std::vector<std::u16string>& devices) {
  winsim::Reset();
  char16_t letter = u'A';
  for (const std::u16string& device : devices) winsim::AddDrive(letter++, {device});
  DriveMap map;
  const bool built = PathConverter::RefillDriveMap(map);
  Check(built == !map.empty());
  // Every entry is a listed drive with the first string of its answer and one more
  // backslash, in list order; a drive whose device string fits easily is never missing.
  std::vector<bool> present(devices.size(), false);
  std::size_t next = 0;
  for (const DriveMapEntry& entry : map) {
    Check(entry.DriveName.size() == 2 && entry.DriveName[1] == u':');
    const auto index = static_cast<std::size_t>(entry.DriveName[0] - u'A');
    Check(index >= next && index < devices.size());
    next = index + 1;
    present[index] = true;
    const std::u16string& device = devices[index];
    Check(entry.DevicePrefix == device.substr(0, device.find(u'\0')) + u'\\');
  }
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const std::size_t firstString = devices[i].find(u'\0');
    if (firstString != 0 && devices[i].size() < 200) Check(present[i]);
  }
  return map;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const bool viaWinsim = input.ConsumeBool();
  const std::size_t entryCount = input.ConsumeIntegralInRange<std::size_t>(0, 26);

  std::vector<std::u16string> devices;
  DriveMap map;
  for (std::size_t i = 0; i < entryCount && input.remaining_bytes() > 0; ++i) {
    devices.push_back(TakeText(input, viaWinsim ? 300 : 24));
    map.push_back({devices.back() + u'\\', TakeText(input, 3)});
  }
  if (viaWinsim) map = BuildOverWinsim(devices);

  // The path: often an entry's prefix (maybe cut short) followed by more text.
  std::u16string path;
  if (!map.empty() && input.ConsumeBool()) {
    const DriveMapEntry& base = map[input.ConsumeIntegralInRange<std::size_t>(0, map.size() - 1)];
    path = base.DevicePrefix.substr(
        0, input.ConsumeIntegralInRange<std::size_t>(0, base.DevicePrefix.size()));
  }
  path += TakeText(input, 64);

  const std::u16string original = path;
  const bool converted = PathConverter::ConvertDevicePath(map, path);
  if (!converted) {
    Check(path == original);
    return 0;
  }

  const DriveMapEntry* first = nullptr;
  for (const DriveMapEntry& entry : map) {
    if (BeginsWith(original, entry.DevicePrefix)) {
      first = &entry;
      break;
    }
  }
  if (first != nullptr) {
    const std::size_t deviceLength = first->DevicePrefix.size() - 1;
    Check(path.size() <= original.size() - deviceLength + first->DriveName.size());
    Check(BeginsWith(path, first->DriveName + u'\\'));
    Check(path == first->DriveName + original.substr(deviceLength));
  } else {
    Check(BeginsWith(original, u"\\??\\"));
    Check(path == original.substr(4));
  }
  return 0;
}
