#pragma once
// The live guard (--live DIR): real program launches from one folder, held by the kernel through
// fanotify permission events, parked in the driver stand-in's record and judged by the module,
// until Ctrl-C.
#include <memory>
#include <string>

#include "LiveSource.h"
#include "Options.h"
#include "Reporter.h"
#include "WinsimLaunchSource.h"

// Marks the folder and registers its drive. Null, with the reason in *error, when that cannot
// be done (not root, a kernel without permission events, not a folder).
std::unique_ptr<LiveSource> OpenLiveGuard(const HostOptions& options, WinsimLaunchSource& source,
                                          std::string* description, std::string* error);

// Reports each launch as the kernel is answered, until Ctrl-C; then every launch held has been
// answered and the folder is no longer marked. The module must be started.
void ServeLiveLaunches(LiveSource& live, WinsimLaunchSource& source, const HostOptions& options,
                       Reporter& reporter);
