#pragma once
// The module's load steps, in the order a load runs them, and its unload steps, which run in the
// reverse order. The shared library runs them from static objects as the loader loads and unloads
// it; a test runs them the same way around the module's code linked into its program.
namespace ModuleSteps {

// The drive map, built from the logical drives (a failure is logged there).
void LoadDriveMap();
// The driver file path; no connection and no pump yet.
void LoadDriverLink();
// Closes the device and releases the driver path.
void UnloadDriverLink();
// Releases the drive map.
void UnloadDriveMap();

}  // namespace ModuleSteps
