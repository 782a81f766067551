#pragma once
// The module loaded the way a host loads it: dlopen (LoadLibraryW on Windows) runs its load
// steps, dlclose (FreeLibrary) its unload steps.
#include <string>

class ModuleLibrary {
 public:
  explicit ModuleLibrary(const std::string& path);
  ~ModuleLibrary();
  ModuleLibrary(const ModuleLibrary&) = delete;
  ModuleLibrary& operator=(const ModuleLibrary&) = delete;

  bool Loaded() const { return handle_ != nullptr; }
  const std::string& Error() const { return error_; }
  bool Start() const { return start_(); }
  bool Stop() const { return stop_(); }
  void Unload();

 private:
  void* handle_ = nullptr;
  bool (*start_)() = nullptr;
  bool (*stop_)() = nullptr;
  std::string error_;
};

// What each platform provides to load the module and find CVantor's two static members.
namespace module_access {
using StaticCall = bool (*)();
extern const char* const kStartName;
extern const char* const kStopName;
// The loaded module, or null with the reason in *error.
void* Open(const std::string& path, std::string* error);
StaticCall Find(void* module, const char* name);
void Close(void* module);
}  // namespace module_access

// The module beside this executable: libvantor.so, or vantor.dll on Windows (UTF-8).
std::string ModulePathBesideExecutable();
