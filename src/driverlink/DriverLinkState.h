#pragma once
// The driver link's module state. Constant-initialised: every object holds zero before any
// load step runs, whatever order the loader takes the translation units in.
#include <string>

#include "driverlink/Protocol.h"
#include "platform/Handles.h"

// The open guard device; closed when an attempt fails after opening it, and at unload.
extern UniqueHandle g_hDevice;
// The shared record, from the successful handshake. The pump reads it only after Start has
// created the pump thread, which orders the two.
extern SharedSlot* g_pSharedSlot;
// The driver file a newly created service points to: the host executable's directory followed
// by "vantorflt.sys". Built once at load.
extern std::u16string g_strDriverPath;
// Handshake input, filled before each handshake and kept afterwards.
extern InitializeRequest g_InitializeRequest;
