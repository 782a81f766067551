#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "ModuleLibrary.h"

namespace module_access {

// CVantor::Start() and CVantor::Stop(), static members: plain functions by their C++ names.
const char* const kStartName = "_ZN7CVantor5StartEv";
const char* const kStopName = "_ZN7CVantor4StopEv";

void* Open(const std::string& path, std::string* error) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) *error = dlerror();
  return module;
}

StaticCall Find(void* module, const char* name) {
  return reinterpret_cast<StaticCall>(dlsym(module, name));
}

void Close(void* module) {
  dlclose(module);
}

}  // namespace module_access

std::string ModulePathBesideExecutable() {
  char self[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, length > 0 ? static_cast<std::size_t>(length) : 0);
  path.resize(path.rfind('/') + 1);
  return path + "libvantor.so";
}
