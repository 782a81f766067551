#pragma once
// Input files of the stand-ins and the demo host (policies, launch lists): UTF-8 text read line
// by line. Anything else is refused with a message that names the file, and the line where it
// can: a directory, an unreadable file, UTF-16 or other binary content, bytes that are not UTF-8.
#include <string>
#include <string_view>
#include <vector>

namespace textfile {

struct Line {
  int number = 0;       // from 1
  std::u16string text;  // without its line end
};

// Splits UTF-8 bytes into lines ("\n" or "\r\n" ends one); a UTF-8 byte-order mark at the start
// is skipped. Returns false with *error as "NAME: reason" or "NAME:LINE: reason" when the bytes
// are UTF-16 (a byte-order mark or a zero byte), not UTF-8, or hold a carriage return that does
// not end a line (CR-only line ends would make a whole file one line).
bool DecodeLines(std::string_view bytes, std::string_view name, std::vector<Line>* lines,
                 std::string* error);

// Reads the file at `path` whole and decodes it as DecodeLines does, naming it by its path.
bool ReadLines(const std::string& path, std::vector<Line>* lines, std::string* error);

// The text without leading and trailing blanks and tabs.
std::u16string_view Trim(std::u16string_view text);

// UTF-8 of UTF-16 text, for messages and terminals (a lone surrogate becomes U+FFFD).
std::string ToUtf8(std::u16string_view text);

}  // namespace textfile
