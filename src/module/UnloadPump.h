#pragma once
// Unload step: stops a pump that is still running, so the shared record and the DriveMap can be
// released safely. Sends no control code.
void StopPumpForUnload();
