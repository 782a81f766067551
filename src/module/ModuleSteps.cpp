#include "module/ModuleSteps.h"

#include <new>

#include "driverlink/DriverLink.h"
#include "driverlink/DriverLinkState.h"
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

}  // namespace

void ModuleSteps::LoadDriveMap() {
  RunLoadStep(PathConverter::Initialize, u"PATHCONVERTER\t Unable to initialize, out of memory.\n");
}

void ModuleSteps::LoadDriverLink() {
  RunLoadStep(DriverLink::BuildDriverPath,
              u"VtClient\t Unable to build driver path, out of memory.\n");
  g_bInitialized = false;
  g_pSharedSlot = nullptr;
  g_hPumpThread.reset();
}

void ModuleSteps::UnloadDriverLink() {
  DriverLink::Release();
}

void ModuleSteps::UnloadDriveMap() {
  PathConverter::Release();
}
