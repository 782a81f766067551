#pragma once
// The simulated modules (the host executable, ntdll, kernel32), as other parts of winsim see them.
#include "winsim/winsim.h"

namespace winsim::detail {
HMODULE HostModule();
// True for the host, ntdll and kernel32; false for a real shared object's handle.
bool IsSimulatedModule(HMODULE module);
}  // namespace winsim::detail
