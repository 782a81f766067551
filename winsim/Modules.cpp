// The process and the system modules the module asks for: the host executable, ntdll (whose
// NtCreateSection entry stub is read for its service number) and kernel32 (which may export
// Wow64DisableWow64FsRedirection).
#include <atomic>
#include <cstdint>
#include <cstring>
#include <list>
#include <mutex>

#include "winsim/Calls.h"
#include "winsim/ModuleImages.h"
#include "winsim/ResetParts.h"
#include "winsim/WideString.h"

using namespace winsim;

namespace {

constexpr char16_t kDefaultHostPath[] = u"C:\\Program Files\\Host\\host.exe";
constexpr DWORD kDefaultProcessId = 4242;

// Stand-ins for the modules' images: their addresses are the module handles.
alignas(16) char g_hostImage[16] = {};
alignas(16) char g_ntdllImage[16] = {};
alignas(16) char g_kernel32Image[16] = {};

HMODULE ModuleOf(const char* image) {
  return reinterpret_cast<HMODULE>(reinterpret_cast<std::uintptr_t>(image));
}

std::mutex g_mutex;
std::u16string g_hostPath = kDefaultHostPath;
std::atomic<DWORD> g_processId{kDefaultProcessId};
std::atomic<bool> g_wow64Present{true};
std::atomic<int> g_wow64Calls{0};

// "mov eax, 0x37; ret": the 32-bit stub layout, the service number at byte 1.
const std::vector<BYTE> g_defaultCode = {0xB8, 0x37, 0x00, 0x00, 0x00, 0xC3};
// Every code buffer handed out stays alive, so an address once returned never dangles.
std::list<std::vector<BYTE>> g_codes;
const std::vector<BYTE>* g_code = &g_defaultCode;

BOOL WINAPI Wow64DisableWow64FsRedirection(PVOID* oldValue) {
  g_wow64Calls.fetch_add(1);
  if (oldValue == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *oldValue = reinterpret_cast<PVOID>(std::uintptr_t{1});  // the token of the previous state
  return TRUE;
}

std::u16string HostPath() {
  std::lock_guard lock(g_mutex);
  return g_hostPath;
}

// The file name of a loaded module, and the module for a name as LoadLibraryW and
// GetModuleHandleW take it (a bare name without extension means ".dll").
std::optional<std::u16string> PathOf(HMODULE module) {
  if (module == nullptr || module == ModuleOf(g_hostImage)) return HostPath();
  if (module == ModuleOf(g_ntdllImage)) return u"C:\\Windows\\System32\\ntdll.dll";
  if (module == ModuleOf(g_kernel32Image)) return u"C:\\Windows\\System32\\kernel32.dll";
  return std::nullopt;
}

HMODULE Lookup(LPCWSTR name) {
  std::u16string wanted(detail::View(name));
  if (wanted.find(u'.') == std::u16string::npos) wanted += u".dll";
  const bool byPath = wanted.find(u'\\') != std::u16string::npos;
  for (const char* image : {g_hostImage, g_ntdllImage, g_kernel32Image}) {
    const std::u16string path = *PathOf(ModuleOf(image));
    if (detail::EqualsIgnoreCase(wanted,
                                 byPath ? std::u16string_view(path) : detail::FileNamePart(path))) {
      return ModuleOf(image);
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

}  // namespace

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  if (auto error = detail::EnterCall(Api::GetModuleFileNameW, [&] {
        return detail::CallLine("GetModuleFileNameW")
            .Handle(module)
            .Pointer(fileName)
            .Dec(size)
            .Done();
      })) {
    SetLastError(*error);
    return 0;
  }
  const std::optional<std::u16string> path = PathOf(module);
  if (!path) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (path->size() < size) {
    detail::CopyTerminated(*path, fileName);
    return static_cast<DWORD>(path->size());
  }
  // Too long: cut to `size` characters including the terminating null.
  if (size > 0) detail::CopyTerminated(std::u16string_view(*path).substr(0, size - 1), fileName);
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName) {
  if (auto error = detail::EnterCall(Api::GetModuleHandleW, [&] {
        return detail::CallLine("GetModuleHandleW").Text(moduleName).Done();
      })) {
    SetLastError(*error);
    return nullptr;
  }
  return moduleName == nullptr ? ModuleOf(g_hostImage) : Lookup(moduleName);
}

HMODULE WINAPI LoadLibraryW(LPCWSTR fileName) {
  if (auto error = detail::EnterCall(Api::LoadLibraryW, [&] {
        return detail::CallLine("LoadLibraryW").Text(fileName).Done();
      })) {
    SetLastError(*error);
    return nullptr;
  }
  if (detail::View(fileName).empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return Lookup(fileName);
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
  // A "name" below 0x10000 is an ordinal; none is exported by ordinal here.
  const bool byOrdinal = reinterpret_cast<std::uintptr_t>(procName) < 0x10000;
  if (auto error = detail::EnterCall(Api::GetProcAddress, [&] {
        detail::CallLine line("GetProcAddress");
        line.Handle(module);
        if (byOrdinal) return line.Dec(reinterpret_cast<std::uintptr_t>(procName)).Done();
        return line.Text(procName).Done();
      })) {
    SetLastError(*error);
    return nullptr;
  }
  if (module == nullptr || !PathOf(module)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::uintptr_t address = 0;
  if (!byOrdinal && module == ModuleOf(g_ntdllImage) &&
      std::strcmp(procName, "NtCreateSection") == 0) {
    std::lock_guard lock(g_mutex);
    if (g_code != nullptr) address = reinterpret_cast<std::uintptr_t>(g_code->data());
  } else if (!byOrdinal && module == ModuleOf(g_kernel32Image) &&
             std::strcmp(procName, "Wow64DisableWow64FsRedirection") == 0 &&
             g_wow64Present.load()) {
    address = reinterpret_cast<std::uintptr_t>(&Wow64DisableWow64FsRedirection);
  }
  if (address == 0) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(address);
}

DWORD WINAPI GetCurrentProcessId() {
  return g_processId.load();
}

namespace winsim {

void SetHostPath(std::u16string path) {
  std::lock_guard lock(g_mutex);
  g_hostPath = std::move(path);
}

void SetProcessId(DWORD id) {
  g_processId.store(id);
}

void SetNtCreateSectionCode(std::optional<std::vector<BYTE>> code) {
  std::lock_guard lock(g_mutex);
  if (!code) {
    g_code = nullptr;
    return;
  }
  g_code = &g_codes.emplace_back(std::move(*code));
}

void SetWow64RedirectionPresent(bool present) {
  g_wow64Present.store(present);
}

int Wow64RedirectionCalls() {
  return g_wow64Calls.load();
}

namespace detail {
HMODULE HostModule() {
  return ModuleOf(g_hostImage);
}

bool IsSimulatedModule(HMODULE module) {
  return module != nullptr && PathOf(module).has_value();
}

void ResetModules() {
  {
    std::lock_guard lock(g_mutex);
    g_hostPath = kDefaultHostPath;
    g_code = &g_defaultCode;
  }
  g_processId.store(kDefaultProcessId);
  g_wow64Present.store(true);
  g_wow64Calls.store(0);
}
}  // namespace detail

}  // namespace winsim
