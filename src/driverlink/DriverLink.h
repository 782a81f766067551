#pragma once
// The driver link: the kernel driver's service, the guard device and the handshake that hands
// over the shared record. Runs on the host's thread (load, Start, unload).

namespace DriverLink {

// Load step: g_strDriverPath becomes the host executable's directory + "vantorflt.sys".
void BuildDriverPath();

// Opens the driver's service, or creates it when it does not exist, and asks it to start.
// True when the service was opened or created; whether the driver runs shows at the device.
bool EnsureService();

// One attempt at the whole connection: service, device, handshake. True when g_pSharedSlot
// holds the record's address. A failed attempt leaves no device handle open.
bool Initialize();

// Unload step: closes the device and releases the driver path.
void Release();

}  // namespace DriverLink
