// Windows only: the drive map built over the machine's real drives. Under Wine the drive list
// holds C:\ and Z:\, whose devices are \Device\HarddiskVolume1 and \Device\HarddiskVolume2.
#include <gtest/gtest.h>

#include <string>

#include "Basalt.h"
#include "paths/PathConverter.h"

namespace {

TEST(RealDrives, BuildGivesDriveNamesAndBackslashedPrefixes) {
  ASSERT_TRUE(PathConverter::BuildDriveMap());
  bool sawC = false;
  for (const DriveMapEntry& entry : PathConverter::CurrentDriveMap()) {
    ASSERT_EQ(entry.DriveName.size(), 2u);
    EXPECT_EQ(entry.DriveName[1], u':');
    ASSERT_GE(entry.DevicePrefix.size(), 2u);
    EXPECT_EQ(entry.DevicePrefix.back(), u'\\');
    sawC = sawC || entry.DriveName == u"C:";
  }
  EXPECT_TRUE(sawC);
  PathConverter::Release();
}

TEST(RealDrives, SystemVolumePathBecomesDriveCPath) {
  ASSERT_TRUE(PathConverter::BuildDriveMap());
  std::u16string path = uR"(\Device\HarddiskVolume1\windows\system32\cmd.exe)";
  EXPECT_TRUE(PathConverter::ConvertDevicePath(path));
  EXPECT_EQ(path, uR"(C:\windows\system32\cmd.exe)");
  PathConverter::Release();
}

TEST(RealDrives, InitializeOverRealDrivesLogsNothing) {
  BasaltCaptureStart();
  PathConverter::Initialize();
  BasaltCaptureStop();
  EXPECT_EQ(BasaltCapturedCount(), 0);
  EXPECT_FALSE(PathConverter::CurrentDriveMap().empty());
  PathConverter::Release();
}

}  // namespace
