#pragma once
// Each storm launch has its own image path that encodes its index, on one of three volumes: C:
// stays mounted, X: comes and goes, and a network share no drive letter names (its paths never
// convert, so each one rebuilds the drive map, which then takes X: in or leaves it out as it is
// at that moment). From the index alone follow the volume and what the scanner answers, so a
// verdict that reaches the wrong launch, or a path the pump mangles, shows.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace storm {

enum class Volume { C, X, Share };
// How the scanner saw the path: converted to a drive letter, or as the kernel wrote it (when
// the drive map did not cover the volume even after its rebuild).
enum class Form { Converted, Raw };
enum class Scan { Allow, Deny, Throw };

inline constexpr std::u16string_view kVolumeC = u"\\Device\\HarddiskVolume1";
inline constexpr std::u16string_view kVolumeX = u"\\Device\\HarddiskVolume9";
inline constexpr std::u16string_view kShare = u"\\Device\\Mup\\server";
inline constexpr std::u16string_view kFolder = u"\\storm\\";
inline constexpr std::u16string_view kExtension = u".exe";

// Half on C:, a quarter each on X: and the share.
inline Volume VolumeOf(std::uint64_t index) {
  switch (index % 4) {
    case 1:
      return Volume::X;
    case 3:
      return Volume::Share;
    default:
      return Volume::C;
  }
}

inline std::u16string_view DeviceOf(Volume volume) {
  switch (volume) {
    case Volume::X:
      return kVolumeX;
    case Volume::Share:
      return kShare;
    case Volume::C:
      break;
  }
  return kVolumeC;
}

// A well-mixed hash, so neighbouring indices get unrelated answers.
inline std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15u;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  return x ^ (x >> 31);
}

// About 1% throw; of the rest, half are denied, so a verdict swapped between two launches shows
// half the time.
inline Scan ScanOf(std::uint64_t index) {
  const std::uint64_t h = Mix(index);
  if (h % 100 == 0) return Scan::Throw;
  return (h >> 32) & 1 ? Scan::Deny : Scan::Allow;
}

inline std::u16string Decimal(std::uint64_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

// The kernel's path of launch `index`.
inline std::u16string KernelPath(std::uint64_t index) {
  std::u16string path(DeviceOf(VolumeOf(index)));
  path += kFolder;
  path += Decimal(index);
  path += kExtension;
  return path;
}

struct Decoded {
  std::uint64_t index;
  Volume volume;
  Form form;
};

// Reads a path back in any of the forms the scanner may see it in; nullopt for anything else.
inline std::optional<Decoded> Decode(std::u16string_view path) {
  struct Prefix {
    std::u16string_view head;
    Volume volume;
    Form form;
  };
  const Prefix prefixes[] = {{u"C:", Volume::C, Form::Converted},
                             {u"X:", Volume::X, Form::Converted},
                             {kVolumeC, Volume::C, Form::Raw},
                             {kVolumeX, Volume::X, Form::Raw},
                             {kShare, Volume::Share, Form::Raw}};
  for (const Prefix& prefix : prefixes) {
    if (!path.starts_with(prefix.head)) continue;
    std::u16string_view rest = path.substr(prefix.head.size());
    if (!rest.starts_with(kFolder) || !rest.ends_with(kExtension)) return std::nullopt;
    rest = rest.substr(kFolder.size(), rest.size() - kFolder.size() - kExtension.size());
    if (rest.empty() || rest.size() > 19 || (rest.size() > 1 && rest[0] == u'0'))
      return std::nullopt;
    std::uint64_t index = 0;
    for (char16_t unit : rest) {
      if (unit < u'0' || unit > u'9') return std::nullopt;
      index = index * 10 + static_cast<std::uint64_t>(unit - u'0');
    }
    return Decoded{index, prefix.volume, prefix.form};
  }
  return std::nullopt;
}

}  // namespace storm
