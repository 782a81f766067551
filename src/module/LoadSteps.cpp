#include <new>

#include "driverlink/DriverLink.h"
#include "log/GuardLog.h"
#include "module/ModuleState.h"
#include "module/ModuleSteps.h"
#include "paths/PathConverter.h"

namespace {

// Loading never takes the host down: a step that runs out of memory is logged and leaves its
// state empty.
template <typename Step>
void RunLoadStep(Step step, const char16_t* outOfMemoryMessage) noexcept {
  try {
    step();
  } catch (const std::bad_alloc&) {
    GuardLog(3, outOfMemoryMessage);
  }
}

}  // namespace

void ModuleSteps::Load() noexcept {
  CreateModuleObjects();
  // 1. The drive map, from the logical drives (a map that cannot be built is logged there).
  RunLoadStep(PathConverter::Initialize, u"PATHCONVERTER\t Unable to initialize, out of memory.\n");
  // 2. The driver link: the driver file path, no connection and no pump yet.
  RunLoadStep(DriverLink::BuildDriverPath,
              u"VtClient\t Unable to build driver path, out of memory.\n");
  g_bInitialized = false;
  g_pSharedSlot = nullptr;
}
