#include "module/ModuleState.h"

bool g_bInitialized = false;
constinit UniqueHandle g_hPumpThread;
constinit std::atomic<bool> g_bStopPump{false};
constinit std::atomic<bool> g_bPumpRunning{false};
