#include "TextFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace textfile {
namespace {

// Larger input is not a hand-written list; reading stops there instead of filling memory.
constexpr std::size_t kMaxFileBytes = 64u << 20;

std::string Hex(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

// One UTF-8 sequence at bytes[i]: its code point and length, or 0 when the bytes there are not
// well-formed UTF-8 (overlong forms, surrogates and values past U+10FFFF included).
std::size_t DecodeOne(std::string_view bytes, std::size_t i, char32_t* c) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
  const unsigned char lead = at(0);
  if (lead < 0x80) {
    *c = lead;
    return 1;
  }
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length == 0 || i + length > bytes.size()) return 0;
  char32_t value = lead & (0xFF >> (length + 1));
  for (std::size_t k = 1; k < length; ++k) {
    if ((at(k) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (at(k) & 0x3F);
  }
  const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return 0;
  *c = value;
  return length;
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
  }
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool DecodeLines(std::string_view bytes, std::string_view name, std::vector<Line>* lines,
                 std::string* error) {
  const std::string file(name);
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    *error = file + ": UTF-16 text; save the file as UTF-8";
    return false;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  lines->clear();
  Line line{1, {}};
  std::size_t column = 1;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto where = [&] { return file + ":" + std::to_string(line.number) + ": "; };
    char32_t c = 0;
    const std::size_t length = DecodeOne(bytes, i, &c);
    if (length == 0) {
      *error = where() + "not UTF-8 text (byte " + Hex(static_cast<unsigned char>(bytes[i])) +
               " at column " + std::to_string(column) + "); save the file as UTF-8";
      return false;
    }
    if (c == 0) {
      *error = where() + "a zero byte: binary or UTF-16 content; save the file as UTF-8 text";
      return false;
    }
    i += length;
    if (c == u'\r' && i < bytes.size() && bytes[i] != '\n') {
      // Old Mac line ends, or a CR inside the text: either way not what it looks like.
      *error = where() + "a carriage return (CR) not followed by a line feed, at column " +
               std::to_string(column) + ": lines end in LF or CR LF; save the file so";
      return false;
    }
    ++column;
    if (c != u'\n') {
      AppendUtf16(line.text, c);
      continue;
    }
    if (line.text.ends_with(u'\r')) line.text.pop_back();
    lines->push_back(std::move(line));
    line = Line{lines->back().number + 1, {}};
    column = 1;
  }
  if (line.text.ends_with(u'\r')) line.text.pop_back();
  if (!line.text.empty()) lines->push_back(std::move(line));
  return true;
}

bool ReadLines(const std::string& path, std::vector<Line>* lines, std::string* error) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    *error = path + ": is a directory, not a file";
    return false;
  }
  errno = 0;
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    *error = path + ": cannot open: " + std::strerror(errno);
    return false;
  }
  std::string bytes;
  char chunk[65536];
  while (const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get())) {
    bytes.append(chunk, got);
    if (bytes.size() > kMaxFileBytes) {
      *error = path + ": larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB";
      return false;
    }
  }
  if (std::ferror(file.get())) {
    *error = path + ": cannot read: " + std::strerror(errno);
    return false;
  }
  return DecodeLines(bytes, path, lines, error);
}

std::u16string_view Trim(std::u16string_view text) {
  const auto first = text.find_first_not_of(u" \t");
  if (first == std::u16string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(u" \t") - first + 1);
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                      text[i + 1] < 0xE000;
    if (pair) {
      AppendUtf8(out, 0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[++i] - 0xDC00));
    } else {
      AppendUtf8(out, c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
    }
  }
  return out;
}

}  // namespace textfile
