#include "LaunchList.h"

#include "TextFile.h"

bool ReadLaunchList(const std::string& file, std::size_t maxUnits,
                    std::vector<std::u16string>* paths, std::string* error) {
  std::vector<textfile::Line> lines;
  if (!textfile::ReadLines(file, &lines, error)) return false;
  std::vector<std::u16string> read;
  for (const textfile::Line& line : lines) {
    const std::u16string_view path = textfile::Trim(line.text);
    if (path.empty() || path.front() == u'#') continue;
    const std::string where = file + ":" + std::to_string(line.number) + ": ";
    if (path.front() != u'\\') {
      *error = where + "'" + textfile::ToUtf8(path.substr(0, 60)) +
               "' is not a kernel path; those start with a backslash, e.g. "
               "\\Device\\HarddiskVolume1\\Windows\\notepad.exe or \\??\\C:\\Windows\\notepad.exe";
      return false;
    }
    if (path.size() > maxUnits) {
      *error = where + "the path has " + std::to_string(path.size()) +
               " UTF-16 units; the driver's record holds at most " + std::to_string(maxUnits);
      return false;
    }
    read.emplace_back(path);
  }
  if (read.empty()) {
    *error = file + ": names no launch (only blank lines and comments)";
    return false;
  }
  *paths = std::move(read);
  return true;
}
