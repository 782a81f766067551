// The module's load set-up and unload steps, as static objects in the order the load requires.
// The loader constructs them in definition order when the module is loaded and destroys them in
// reverse order when it is unloaded. Only the shared library contains this file. No pump runs
// at unload: a running pump holds a reference to the module, which keeps it loaded.
#include <new>

#include "driverlink/DriverLink.h"
#include "log/GuardLog.h"
#include "module/ModuleState.h"
#include "paths/PathConverter.h"

namespace {

// Loading never takes the host down: a step that runs out of memory is logged and leaves its
// state empty.
template <typename Step>
void RunLoadStep(Step step, const char16_t* outOfMemoryMessage) {
  try {
    step();
  } catch (const std::bad_alloc&) {
    GuardLog(3, outOfMemoryMessage);
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

DriveMapStep driveMapStep;
DriverLinkStep driverLinkStep;

}  // namespace
