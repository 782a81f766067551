// The operations on the module's drive map.
#include "paths/PathConverter.h"

#include "log/GuardLog.h"
#include "module/ModuleState.h"
#include "paths/DriveMapBuild.h"

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
  return RefillDriveMap(*g_DriveMap);
}

bool ConvertDevicePath(std::u16string& path) {
  return ConvertDevicePath(*g_DriveMap, path);
}

void Release() {
  DriveMap().swap(*g_DriveMap);
}

const DriveMap& CurrentDriveMap() {
  return *g_DriveMap;
}

}  // namespace PathConverter
