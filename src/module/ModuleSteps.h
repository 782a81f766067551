#pragma once
// What loading and unloading the module does. The loader entry point of each platform runs Load
// when the module is loaded into a process and Unload when it leaves it, and nothing else.
namespace ModuleSteps {

// Creates the module state, builds the drive map, then builds the driver file path. No
// connection and no pump. Never fails: a step that cannot finish logs why.
void Load() noexcept;

// The reverse: closes the device and releases the driver path, then releases the drive map,
// then ends the module state. Neither stops a pump nor sends a control code: a running pump
// holds its own reference to the module, so an unload that finds one is the process's exit.
void Unload() noexcept;

}  // namespace ModuleSteps
