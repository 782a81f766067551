#include "driverlink/DriverLink.h"
#include "module/ModuleState.h"
#include "module/ModuleSteps.h"
#include "paths/PathConverter.h"

void ModuleSteps::Unload() noexcept {
  // The load steps in reverse order.
  // 2. The driver link: the device closed, the driver path released.
  DriverLink::Release();
  // 1. The drive map released.
  PathConverter::Release();
  DestroyModuleObjects();
}
