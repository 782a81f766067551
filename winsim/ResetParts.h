#pragma once
// Each part of the simulated machine returns to its fresh state; winsim::Reset runs them all.
namespace winsim::detail {
void ResetClock();
void ResetSleep();
void ResetDrives();
void ResetServices();
void ResetDriverImages();
void ResetDevices();
void ResetModules();
}  // namespace winsim::detail
