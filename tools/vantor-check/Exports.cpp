#include "Exports.h"

std::vector<Export> ExportsOf(HMODULE module) {
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& entry =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  std::vector<Export> exports;
  if (entry.VirtualAddress == 0) return exports;
  const auto* directory =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
  const auto* functions = reinterpret_cast<const DWORD*>(base + directory->AddressOfFunctions);
  const auto* names = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
  const auto* nameIndexes = reinterpret_cast<const WORD*>(base + directory->AddressOfNameOrdinals);
  for (DWORD i = 0; i < directory->NumberOfFunctions; ++i) {
    if (functions[i] == 0) continue;  // a gap in the ordinals
    Export item{directory->Base + i, {}, reinterpret_cast<FARPROC>(base + functions[i])};
    for (DWORD n = 0; n < directory->NumberOfNames; ++n) {
      if (nameIndexes[n] == i) item.name = reinterpret_cast<const char*>(base + names[n]);
    }
    exports.push_back(item);
  }
  return exports;
}
