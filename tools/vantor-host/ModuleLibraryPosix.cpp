#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "ModuleLibrary.h"

ModuleLibrary::ModuleLibrary(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    error_ = dlerror();
    return;
  }
  // CVantor::Start() and CVantor::Stop(), static members: plain functions by their C++ names.
  start_ = reinterpret_cast<bool (*)()>(dlsym(handle_, "_ZN7CVantor5StartEv"));
  stop_ = reinterpret_cast<bool (*)()>(dlsym(handle_, "_ZN7CVantor4StopEv"));
  if (start_ == nullptr || stop_ == nullptr) {
    error_ = "CVantor::Start or CVantor::Stop is not exported";
    Unload();
  }
}

ModuleLibrary::~ModuleLibrary() {
  Unload();
}

void ModuleLibrary::Unload() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

std::string ModulePathBesideExecutable() {
  char self[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, length > 0 ? static_cast<std::size_t>(length) : 0);
  path.resize(path.rfind('/') + 1);
  return path + "libvantor.so";
}
