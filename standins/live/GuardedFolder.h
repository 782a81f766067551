#pragma once
// The guarded folder as the driver presents it: a volume of its own. A file directly inside
// /srv/guarded, say tool, has the kernel path \Device\HarddiskVolume4\tool and, with the drive
// letter L, the drive-letter path L:\tool that a policy names.
#include <optional>
#include <string>
#include <string_view>

class GuardedFolder {
 public:
  // `path`: the folder's canonical path, without a trailing slash (except the root "/").
  GuardedFolder(std::string path, char16_t driveLetter, std::u16string volumeDevice);

  const std::string& Path() const { return path_; }
  // The file's name when `file` lies directly inside the folder, not in a subfolder.
  std::optional<std::string> NameOf(std::string_view file) const;
  std::u16string KernelPath(std::string_view name) const;
  std::u16string DrivePath(std::string_view name) const;

 private:
  std::string path_;
  std::u16string drive_;
  std::u16string volume_;
};

// UTF-8 to UTF-16; a byte that does not begin a valid sequence becomes U+FFFD.
std::u16string Utf16FromUtf8(std::string_view text);
