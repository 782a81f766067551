#include "GuardedFolder.h"

#include <utility>

GuardedFolder::GuardedFolder(std::string path, char16_t driveLetter, std::u16string volumeDevice)
    : path_(std::move(path)), drive_{driveLetter, u':'}, volume_(std::move(volumeDevice)) {}

std::optional<std::string> GuardedFolder::NameOf(std::string_view file) const {
  const std::string_view folder = path_ == "/" ? std::string_view() : std::string_view(path_);
  if (file.size() <= folder.size() + 1 || file.substr(0, folder.size()) != folder ||
      file[folder.size()] != '/') {
    return std::nullopt;
  }
  const std::string_view name = file.substr(folder.size() + 1);
  if (name.find('/') != std::string_view::npos) return std::nullopt;
  return std::string(name);
}

std::u16string GuardedFolder::KernelPath(std::string_view name) const {
  return volume_ + u'\\' + Utf16FromUtf8(name);
}

std::u16string GuardedFolder::DrivePath(std::string_view name) const {
  return drive_ + u'\\' + Utf16FromUtf8(name);
}

std::u16string Utf16FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    char32_t code = length == 1 ? lead : lead & (0x3Fu >> (length - 1));
    bool valid = (lead < 0x80 || lead >= 0xC2) && lead < 0xF5 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && code >= least[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (!valid) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += length;
  }
  return out;
}
