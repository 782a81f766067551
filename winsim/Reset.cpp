// Back to a fresh machine. Handles and running threads are left alone.
#include "winsim/Calls.h"
#include "winsim/ResetParts.h"

namespace winsim {

void Reset() {
  detail::ResetJournal();
  detail::ResetFailures();
  detail::ResetClock();
  detail::ResetSleep();
  detail::ResetDrives();
  detail::ResetServices();
  detail::ResetDriverImages();
  detail::ResetDevices();
  detail::ResetModules();
}

}  // namespace winsim
