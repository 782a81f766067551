// References to real shared objects, as Windows counts references to DLLs: a module found by
// one of its addresses gets one more reference (a dlopen without loading), and FreeLibrary gives
// it back (dlclose), so the object is unloaded only when its last reference is gone.
#include <dlfcn.h>
#include <link.h>

#include <cstdint>

#include "winsim/Calls.h"
#include "winsim/ModuleImages.h"

using namespace winsim;

namespace {

// Whether `address` lies in one of the program's own loaded segments (the first object that
// dl_iterate_phdr reports is the program).
bool InProgram(const void* address) {
  struct Query {
    std::uintptr_t address;
    bool found = false;
  } query{reinterpret_cast<std::uintptr_t>(address)};
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) {
        auto* q = static_cast<Query*>(data);
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          const ElfW(Phdr)& segment = info->dlpi_phdr[i];
          if (segment.p_type != PT_LOAD) continue;
          const std::uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
          if (q->address >= begin && q->address < begin + segment.p_memsz) q->found = true;
        }
        return 1;  // the program only
      },
      &query);
  return query.found;
}

}  // namespace

BOOL WINAPI GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module) {
  if (auto error = detail::EnterCall(Api::GetModuleHandleExW, [&] {
        return detail::CallLine("GetModuleHandleExW")
            .Hex(flags)
            .Pointer(moduleName)
            .Pointer(module)
            .Done();
      })) {
    if (module != nullptr) *module = nullptr;
    SetLastError(*error);
    return FALSE;
  }
  if (module == nullptr || (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *module = nullptr;
  const void* address = moduleName;
  if (InProgram(address)) {
    *module = detail::HostModule();
    return TRUE;
  }
  Dl_info info{};
  void* handle = dladdr(address, &info) != 0 && info.dli_fname != nullptr
                     ? dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD)
                     : nullptr;
  if (handle == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if ((flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) != 0) dlclose(handle);
  *module = static_cast<HMODULE>(handle);
  return TRUE;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  if (module == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The simulated modules stay loaded for the life of the process.
  if (detail::IsSimulatedModule(module)) return TRUE;
  if (dlclose(module) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
