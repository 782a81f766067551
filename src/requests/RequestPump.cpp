#include "requests/RequestPump.h"

#include <atomic>

#include "module/ModuleState.h"
#include "paths/PathConverter.h"
#include "platform/ModuleOf.h"
#include "platform/ProcAddress.h"
#include "platform/ScannerCall.h"

namespace {

using Wow64DisableFn = BOOL(WINAPI*)(PVOID*);

// File access on this thread, the scanner's included, must see the real system folders.
void DisableWow64Redirection() {
  const HMODULE kernel32 = LoadLibraryW(AsWin(u"Kernel32.DLL"));
  if (kernel32 == nullptr) return;
  const auto disable =
      ProcAs<Wow64DisableFn>(GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection"));
  if (disable == nullptr) return;
  PVOID oldValue = nullptr;
  disable(&oldValue);
}

// The record is shared with the driver: Pending is read with acquire so the path the driver
// wrote before setting it is visible, and cleared with release so Verdict is seen first.
std::atomic_ref<std::uint32_t> PendingOf(SharedSlot* slot) {
  return std::atomic_ref(slot->Pending);
}

bool AllowedByScanner(std::u16string& path) {
  if (!PathConverter::ConvertDevicePath(path)) {
    PathConverter::BuildDriveMap();
    PathConverter::ConvertDevicePath(path);
  }
  return AskScanner(AsWin(path.c_str())) == ScannerAnswer::Allowed;
}

void ServeUntilStopped() {
  do {
    if (PendingOf(g_pSharedSlot).load(std::memory_order_acquire) == 0) {
      Sleep(10);
    } else {
      ServeRequest();
    }
  } while (!g_bStopPump);
}

}  // namespace

std::optional<std::u16string> CopyImagePath(const SharedSlot& slot) {
  const char16_t* text = slot.ImagePath;
  for (std::size_t length = 0; length <= kMaxImagePathUnits; ++length) {
    if (text[length] == 0) return std::u16string(text, length);
  }
  return std::nullopt;
}

void ServeRequest() {
  std::uint32_t verdict = 0;
  try {
    // A path the driver did not terminate within the bound is not judged: it may not run.
    if (std::optional<std::u16string> path = CopyImagePath(*g_pSharedSlot)) {
      verdict = AllowedByScanner(*path) ? 1 : 0;
    }
  } catch (...) {
    // Copy, conversion or scanner failed: the launch may not run, and it is still answered.
    verdict = 0;
  }
  std::atomic_ref(g_pSharedSlot->Verdict).store(verdict, std::memory_order_relaxed);
  PendingOf(g_pSharedSlot).store(0, std::memory_order_release);
}

DWORD WINAPI RequestPump(LPVOID) {
  DisableWow64Redirection();
  if (!g_bStopPump) ServeUntilStopped();
  // Start took a reference to the module for this thread. Giving it back and ending the thread
  // in one call means no code of the module runs once the module may be unloaded.
  FreeLibraryAndExitThread(ModuleOf(RequestPump), 0);
}
