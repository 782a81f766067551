#pragma once
// The demo's embedded machine, policy and launch set.
#include <string>
#include <vector>

// Scanner rules used when no policy file is given.
extern const char* const kDefaultPolicy;
// Kernel image paths replayed when no launch file is given, the same on Linux and Windows: the
// system volume (C: on both), a CD no drive names, a volume mounted after the module loaded
// (Linux only; elsewhere no drive names it), the "\??\" form, a network drive (Linux only) and
// a share no drive names. The rules judge each launch alike on both.
std::vector<std::u16string> DefaultLaunches();
