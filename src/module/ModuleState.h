#pragma once
// The module state: every module-level object, one set per loaded module. All of it is
// constant-initialised (zero before any load step) and none of it registers a destructor. The
// objects that own memory or handles live in ModuleObject storage: the load steps create them
// and fill them, the unload steps empty and destroy them (LoadSteps.cpp, UnloadSteps.cpp).
#include <atomic>
#include <string>

#include "driverlink/Protocol.h"
#include "module/ModuleObject.h"
#include "paths/PathConverter.h"
#include "platform/Handles.h"

// ---- Start, Stop and the request pump

// The device connection is established (result of the last DriverLink::Initialize attempt).
extern bool g_bInitialized;
// The pump thread started by the last Start; empty when creation failed or after Stop.
extern ModuleObject<UniqueHandle> g_hPumpThread;
// Request from the host's thread to the pump to end; read afresh on every pass.
extern std::atomic<bool> g_bStopPump;

// ---- The driver link

// The open guard device; closed when an attempt fails after opening it, and at unload.
extern ModuleObject<UniqueHandle> g_hDevice;
// The shared record, from the successful handshake. The pump reads it only after Start has
// created the pump thread, which orders the two.
extern SharedSlot* g_pSharedSlot;
// The driver file a newly created service points to: the host executable's directory followed
// by "vantorflt.sys". Built once at load.
extern ModuleObject<std::u16string> g_strDriverPath;
// Handshake input, filled before each handshake and kept afterwards.
extern InitializeRequest g_InitializeRequest;

// ---- Path conversion

// Device prefixes and drive names, used only through PathConverter, by one thread at a time:
// the loading thread, then the request pump, then the unloading thread. No lock.
extern ModuleObject<DriveMap> g_DriveMap;

// Brings the ModuleObjects above to life, empty: the load's first act. Code that uses the
// state without the load steps around it (tests, benchmarks) calls these two itself.
void CreateModuleObjects() noexcept;
// Ends their lives, closing what they still hold: the unload's last act.
void DestroyModuleObjects() noexcept;
