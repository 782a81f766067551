// The entry point of vantor.dll. The C runtime's DllMainCRTStartup calls it after its own set-up
// at attach (runtime ready, unwind tables registered) and before its own tear-down at detach,
// so the load and unload steps may allocate and throw. The module has no other start-up or
// tear-down code of its own.
#include "module/ModuleSteps.h"
#include "platform/Win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) ModuleSteps::Load();
  if (reason == DLL_PROCESS_DETACH) ModuleSteps::Unload();
  return TRUE;
}
