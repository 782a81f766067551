#include <string>

#include "ModuleLibrary.h"
#include "TextFile.h"
#include "platform/ProcAddress.h"
#include "platform/WideText.h"

namespace {

std::wstring Wide(const std::string& utf8) {
  const auto bytes = static_cast<int>(utf8.size());
  std::wstring wide(
      static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, nullptr, 0)),
      L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

}  // namespace

namespace module_access {

// CVantor::Start() and CVantor::Stop() by their Visual C++ decorated names, as a host finds them.
const char* const kStartName = "?Start@CVantor@@SA_NXZ";
const char* const kStopName = "?Stop@CVantor@@SA_NXZ";

void* Open(const std::string& path, std::string* error) {
  const HMODULE module = LoadLibraryW(Wide(path).c_str());
  if (module == nullptr)
    *error = "LoadLibraryW failed with error " + std::to_string(GetLastError());
  return module;
}

StaticCall Find(void* module, const char* name) {
  return ProcAs<StaticCall>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void Close(void* module) {
  FreeLibrary(static_cast<HMODULE>(module));
}

}  // namespace module_access

std::string ModulePathBesideExecutable() {
  wchar_t self[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  path.resize(path.rfind(L'\\') + 1);
  path += L"vantor.dll";
  return textfile::ToUtf8({FromWin(path.c_str()), path.size()});
}
