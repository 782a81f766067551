#include "module/ModuleState.h"

// The pump handle's destructor must outlive the load-step objects of another unit, which reset
// it: the priority registers it ahead of every default-priority object, so it is destroyed last.
bool g_bInitialized = false;
[[gnu::init_priority(101)]] constinit UniqueHandle g_hPumpThread;
constinit std::atomic<bool> g_bStopPump{false};
