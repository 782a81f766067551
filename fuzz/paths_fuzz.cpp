// Fuzzes the device-path conversion over arbitrary drive maps and paths that often share a
// prefix with an entry. Whatever the input: a false result leaves the path as it was; a true one
// swapped the path's leading device prefix for the drive name of an entry whose prefix it starts
// with, or removed a leading "\??\".
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "paths/PathConverter.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  DriveMap map(input.ConsumeIntegralInRange<std::size_t>(0, 26));
  for (DriveMapEntry& entry : map) entry = {TakeText(input, 24) + u'\\', TakeText(input, 3)};

  // The path: often an entry's prefix (maybe cut short) followed by more text.
  std::u16string path;
  if (!map.empty() && input.ConsumeBool()) {
    const DriveMapEntry& base = map[input.ConsumeIntegralInRange<std::size_t>(0, map.size() - 1)];
    path = base.DevicePrefix.substr(
        0, input.ConsumeIntegralInRange<std::size_t>(0, base.DevicePrefix.size()));
  }
  path += TakeText(input, 64);

  const std::u16string original = path;
  if (!PathConverter::ConvertDevicePath(map, path)) {
    if (path != original) std::abort();
    return 0;
  }
  const bool swapped = std::any_of(map.begin(), map.end(), [&](const DriveMapEntry& entry) {
    return original.starts_with(entry.DevicePrefix) &&
           path == entry.DriveName + original.substr(entry.DevicePrefix.size() - 1);
  });
  if (!swapped && !(original.starts_with(u"\\??\\") && path == original.substr(4))) std::abort();
  return 0;
}
