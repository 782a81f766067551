#pragma once
// The thread that answers the guard driver: it serves the shared record until told to stop.
#include <cstddef>
#include <string>

#include "driverlink/Protocol.h"
#include "platform/Win32.h"

// Thread routine for CreateThread; the parameter is unused, the exit code always 0.
DWORD WINAPI RequestPump(LPVOID parameter);

// The longest image path copied from the record, in UTF-16 units (the longest Windows path).
inline constexpr std::size_t kMaxImagePathUnits = 32767;

// Serves the request parked in the record at g_pSharedSlot: works out the verdict, stores it,
// then clears Pending. Every request is answered; a failure on the way means "may not run".
void ServeRequest();

// The record's image path up to its terminating zero or kMaxImagePathUnits units, whichever
// comes first; never reads past that bound.
std::u16string CopyImagePath(const SharedSlot& slot);
