#pragma once
// The module-level state that ties Start, Stop, the request pump and unload together. One set per
// loaded module; every object here is constant-initialised, so it holds zero before any load step.
#include <atomic>

#include "platform/Handles.h"

// The device connection is established (result of the last DriverLink::Initialize attempt).
extern bool g_bInitialized;
// The pump thread started by the last Start; empty when creation failed or after Stop.
extern UniqueHandle g_hPumpThread;
// Request from the host's thread to the pump to end; read afresh on every pass.
extern std::atomic<bool> g_bStopPump;
