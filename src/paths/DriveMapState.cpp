// The module's drive map and the operations that use it. The map is constant-initialised (no
// code runs to create it), so a load-time step in another translation unit may build it before
// this unit's initialisers run. Its destructor, though, is registered when they run, in link
// order; the priority registers it ahead of every default-priority object, so the map is
// destroyed after the unload step that releases it.
#include "log/GuardLog.h"
#include "paths/DriveMapBuild.h"
#include "paths/PathConverter.h"

namespace {

// Used by one thread at a time: the loading thread, then the request pump, then the unloading
// thread. No lock.
[[gnu::init_priority(101)]] constinit DriveMap g_DriveMap;

}  // namespace

namespace PathConverter {

void Initialize() {
  try {
    if (!BuildDriveMap()) GuardLog(3, u"PATHCONVERTER\t Unable to initialize.\n");
  } catch (...) {
    // Out of memory: leave no half-built map behind, then let the load decide.
    Release();
    throw;
  }
}

bool BuildDriveMap() {
  return RefillDriveMap(g_DriveMap);
}

bool ConvertDevicePath(std::u16string& path) {
  return ConvertDevicePath(g_DriveMap, path);
}

void Release() {
  DriveMap().swap(g_DriveMap);
}

const DriveMap& CurrentDriveMap() {
  return g_DriveMap;
}

}  // namespace PathConverter
