#pragma once
// The demo's embedded machine, policy and launch set.
#include <string>
#include <vector>

// Scanner rules used when no policy file is given.
extern const char* const kDefaultPolicy;
// Kernel image paths replayed when no launch file is given: disk volumes, a CD, a volume mounted
// after the module loaded, the "\??\" form, a network drive and a path no drive names.
std::vector<std::u16string> DefaultLaunches();
