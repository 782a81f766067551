// Windows only: the module's map over the real drives (under Wine C:\ is \Device\HarddiskVolume1).
#include <gtest/gtest.h>

#include <string>

#include "module/ModuleState.h"

TEST(RealDrives, SystemVolumePathBecomesDriveCPath) {
  CreateModuleObjects();
  ASSERT_TRUE(PathConverter::BuildDriveMap());
  std::u16string path = uR"(\Device\HarddiskVolume1\windows\system32\cmd.exe)";
  EXPECT_TRUE(PathConverter::ConvertDevicePath(path));
  EXPECT_EQ(path, uR"(C:\windows\system32\cmd.exe)");
  DestroyModuleObjects();
}
