#include "module/ModuleState.h"

constinit bool g_bInitialized = false;
constinit ModuleObject<UniqueHandle> g_hPumpThread;
constinit std::atomic<bool> g_bStopPump{false};
constinit ModuleObject<UniqueHandle> g_hDevice;
constinit SharedSlot* g_pSharedSlot = nullptr;
constinit ModuleObject<std::u16string> g_strDriverPath;
constinit InitializeRequest g_InitializeRequest{};
constinit ModuleObject<DriveMap> g_DriveMap;

void CreateModuleObjects() noexcept {
  g_DriveMap.Create();
  g_strDriverPath.Create();
  g_hDevice.Create();
  g_hPumpThread.Create();
}

void DestroyModuleObjects() noexcept {
  g_hPumpThread.Destroy();
  g_hDevice.Destroy();
  g_strDriverPath.Destroy();
  g_DriveMap.Destroy();
}
