#pragma once
// The export table of a loaded module: every exported ordinal, with its name where it has one.
#include <windows.h>

#include <string>
#include <vector>

struct Export {
  DWORD ordinal;
  std::string name;  // empty: exported by ordinal only
  FARPROC address;
};

std::vector<Export> ExportsOf(HMODULE module);
