// The module's load set-up and unload steps, as static objects in the order the load requires.
// The loader constructs them in definition order when the module is loaded and destroys them in
// reverse order when it is unloaded. Only the shared library contains this file.
#include <new>

#include "driverlink/DriverLink.h"
#include "log/GuardLog.h"
#include "module/ModuleState.h"
#include "module/UnloadPump.h"
#include "paths/PathConverter.h"

namespace {

// Loading never takes the host down: a step that runs out of memory is logged and leaves its
// state empty. The log line itself may fail for the same reason; then it is dropped.
template <typename Step>
void RunLoadStep(Step step, const char16_t* outOfMemoryMessage) {
  try {
    step();
  } catch (const std::bad_alloc&) {
    try {
      GuardLog(3, outOfMemoryMessage);
    } catch (const std::bad_alloc&) {
    }
  }
}

struct DriveMapStep {
  DriveMapStep() {
    RunLoadStep(PathConverter::Initialize,
                u"PATHCONVERTER\t Unable to initialize, out of memory.\n");
  }
  ~DriveMapStep() { PathConverter::Release(); }
};

struct DriverLinkStep {
  DriverLinkStep() {
    RunLoadStep(DriverLink::BuildDriverPath,
                u"VtClient\t Unable to build driver path, out of memory.\n");
    g_bInitialized = false;
    g_hPumpThread.reset();
  }
  ~DriverLinkStep() { DriverLink::Release(); }
};

// Destroyed first: a pump still running is stopped before the record and the map go away.
struct PumpStep {
  PumpStep() = default;
  ~PumpStep() { StopPumpForUnload(); }
};

DriveMapStep driveMapStep;
DriverLinkStep driverLinkStep;
PumpStep pumpStep;

}  // namespace
