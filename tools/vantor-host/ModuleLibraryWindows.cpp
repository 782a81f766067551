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

ModuleLibrary::ModuleLibrary(const std::string& path) {
  const HMODULE module = LoadLibraryW(Wide(path).c_str());
  if (module == nullptr) {
    error_ = "LoadLibraryW failed with error " + std::to_string(GetLastError());
    return;
  }
  handle_ = module;
  // CVantor::Start() and CVantor::Stop() by their Visual C++ decorated names, as a host finds them.
  start_ = ProcAs<bool (*)()>(GetProcAddress(module, "?Start@CVantor@@SA_NXZ"));
  stop_ = ProcAs<bool (*)()>(GetProcAddress(module, "?Stop@CVantor@@SA_NXZ"));
  if (start_ == nullptr || stop_ == nullptr) {
    error_ = "CVantor::Start or CVantor::Stop is not exported";
    Unload();
  }
}

ModuleLibrary::~ModuleLibrary() {
  Unload();
}

void ModuleLibrary::Unload() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

std::string ModulePathBesideExecutable() {
  wchar_t self[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  path.resize(path.rfind(L'\\') + 1);
  path += L"vantor.dll";
  return textfile::ToUtf8({FromWin(path.c_str()), path.size()});
}
