// Fuzzes the device-path conversion over a drive map given as is or built from winsim drives,
// and a path that often shares a prefix with an entry. False leaves the path as it was; a match
// swaps the first matching entry's device string for its drive name; else only "\??\" goes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
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
    text += byte < 0xF0 ? kAlphabet[byte % std::size(kAlphabet)]
                        : static_cast<char16_t>(input.ConsumeIntegral<std::uint16_t>());
  }
  return text;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

// A build over winsim drives A:, B:, ...: each entry is a listed drive's first device string
// and one more backslash.
DriveMap BuildOverWinsim(const std::vector<std::u16string>& devices) {
  winsim::Reset();
  char16_t letter = u'A';
  for (const std::u16string& device : devices) winsim::AddDrive(letter++, {device});
  DriveMap map;
  Check(PathConverter::RefillDriveMap(map) == !map.empty());
  for (const DriveMapEntry& entry : map) {
    Check(entry.DriveName.size() == 2 && entry.DriveName[0] < letter && entry.DriveName[1] == u':');
    const std::u16string& device = devices[static_cast<std::size_t>(entry.DriveName[0] - u'A')];
    Check(entry.DevicePrefix == device.substr(0, device.find(u'\0')) + u'\\');
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
  Check(converted || path == original);
  if (!converted) return 0;
  for (const DriveMapEntry& entry : map) {
    if (!std::u16string_view(original).starts_with(entry.DevicePrefix)) continue;
    const std::size_t deviceLength = entry.DevicePrefix.size() - 1;
    Check(path.size() <= original.size() - deviceLength + entry.DriveName.size());
    Check(std::u16string_view(path).starts_with(entry.DriveName + u'\\'));
    Check(path == entry.DriveName + original.substr(deviceLength));
    return 0;
  }
  Check(original.starts_with(u"\\??\\") && path == original.substr(4));
  return 0;
}
