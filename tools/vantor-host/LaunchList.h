#pragma once
// The launch file: the kernel image paths to replay, one a line.
#include <cstddef>
#include <string>
#include <vector>

// Reads the paths from `file` (UTF-8; surrounding blanks are ignored, blank lines and lines
// starting with '#' are skipped). A line that is not a kernel path (one starting with a
// backslash), or longer than `maxUnits` UTF-16 units, is refused: returns false with *error as
// "FILE:LINE: reason". A file that names no path is refused too.
bool ReadLaunchList(const std::string& file, std::size_t maxUnits,
                    std::vector<std::u16string>* paths, std::string* error);
