#include "driverlink/DriverLinkState.h"

// The unload step (DriverLink::Release) runs from a load-step object in another translation
// unit. Objects with a destructor register it when their unit's initialisers run, and those run
// in link order, so without a priority these could be destroyed before that step uses them. The
// priority registers them ahead of every default-priority object: destroyed after all of them.
[[gnu::init_priority(101)]] constinit UniqueHandle g_hDevice;
[[gnu::init_priority(101)]] std::u16string g_strDriverPath;
constinit SharedSlot* g_pSharedSlot = nullptr;
constinit InitializeRequest g_InitializeRequest{};
