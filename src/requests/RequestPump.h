#pragma once
// The thread that answers the guard driver: it serves the shared record until told to stop.
#include <cstddef>
#include <optional>
#include <string>

#include "driverlink/Protocol.h"
#include "platform/Win32.h"

// Thread routine for CreateThread; the parameter is unused, the exit code always 0. The thread
// must be created holding a reference to the module (ReferenceModuleOf(RequestPump)), which it
// gives back as it ends; so the module stays loaded while a pump runs, whoever unloads it.
[[noreturn]] DWORD WINAPI RequestPump(LPVOID parameter);

// The longest image path copied from the record, in UTF-16 units (the longest Windows path).
inline constexpr std::size_t kMaxImagePathUnits = 32767;

// Serves the request parked in the record at g_pSharedSlot: works out the verdict, stores it,
// then clears Pending. Every request is answered; a failure on the way, or a path without its
// terminating zero, means "may not run".
void ServeRequest();

// The record's image path up to its terminating zero; nullopt when no zero ends it within
// kMaxImagePathUnits units. Never reads past the unit at that index.
std::optional<std::u16string> CopyImagePath(const SharedSlot& slot);
