#pragma once
// The live guard (--live DIR): the system's own program launches from one folder, judged by the
// module until Ctrl-C. The Linux build has one (fanotify permission events, parked in the driver
// stand-in's record); elsewhere opening it fails.
#include <memory>
#include <string>

#include "LaunchSource.h"
#include "Options.h"
#include "Reporter.h"
#include "ScanObserver.h"

class LiveGuard {
 public:
  virtual ~LiveGuard() = default;
  // Reports each launch as the kernel is answered, until Ctrl-C or until the folder can no
  // longer be guarded; then every launch held has been answered and the folder is no longer
  // marked. Returns why guarding ended on its own, or an empty text after Ctrl-C. The module
  // must be started, and `scans` must outlive the module's pump.
  virtual std::string Serve(Reporter& reporter, const ScanObserver& scans) = 0;
};

// Marks the folder and registers its drive. Null, with the reason in *error, when that cannot
// be done (not root, a kernel without permission events, not a folder, a build without it);
// *badInput then says whether the folder named is at fault (missing, not a folder).
std::unique_ptr<LiveGuard> OpenLiveGuard(const HostOptions& options, LaunchSource& source,
                                         std::string* description, std::string* error,
                                         bool* badInput);
