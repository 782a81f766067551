// The module's load and unload steps as static objects, in the order the load requires: the
// loader constructs them in definition order when the module is loaded and destroys them in
// reverse order when it is unloaded. Only the shared library contains this file. No pump runs at
// unload: a running pump holds a reference to the module, which keeps it loaded.
#include "module/ModuleSteps.h"

namespace {

struct DriveMapStep {
  DriveMapStep() { ModuleSteps::LoadDriveMap(); }
  ~DriveMapStep() { ModuleSteps::UnloadDriveMap(); }
};

struct DriverLinkStep {
  DriverLinkStep() { ModuleSteps::LoadDriverLink(); }
  ~DriverLinkStep() { ModuleSteps::UnloadDriverLink(); }
};

DriveMapStep driveMapStep;
DriverLinkStep driverLinkStep;

}  // namespace
