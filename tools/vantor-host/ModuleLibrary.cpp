#include "ModuleLibrary.h"

ModuleLibrary::ModuleLibrary(const std::string& path) {
  handle_ = module_access::Open(path, &error_);
  if (handle_ == nullptr) return;
  start_ = module_access::Find(handle_, module_access::kStartName);
  stop_ = module_access::Find(handle_, module_access::kStopName);
  if (start_ == nullptr || stop_ == nullptr) {
    error_ = "CVantor::Start or CVantor::Stop is not exported";
    Unload();
  }
}

ModuleLibrary::~ModuleLibrary() {
  Unload();
}

void ModuleLibrary::Unload() {
  if (handle_ != nullptr) module_access::Close(handle_);
  handle_ = nullptr;
}
