// The conversion rule over hand-made maps: first matching prefix wins, the backslash after
// the device string stays, "\??\" is removed only when no entry matches, and a false result
// leaves the path exactly as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "paths/PathConverter.h"

namespace {

struct Case {
  std::u16string given;
  bool converted;
  std::u16string afterwards;
};

void ExpectConversions(const DriveMap& map, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    std::u16string path = c.given;
    const std::u16string before = path;
    EXPECT_EQ(PathConverter::ConvertDevicePath(map, path), c.converted)
        << "path: " << ::testing::PrintToString(before);
    EXPECT_EQ(path, c.converted ? c.afterwards : before)
        << "path: " << ::testing::PrintToString(before);
  }
}

// Roots C:\, D:\, E:\ answering \Device\HarddiskVolume1, \Device\CdRom0, \Device\HarddiskVolume10.
const DriveMap kThreeDrives = {
    {uR"(\Device\HarddiskVolume1\)", u"C:"},
    {uR"(\Device\CdRom0\)", u"D:"},
    {uR"(\Device\HarddiskVolume10\)", u"E:"},
};

TEST(DevicePathRule, ThreeDriveTable) {
  ExpectConversions(
      kThreeDrives,
      {
          {uR"(\Device\HarddiskVolume1\Windows\System32\cmd.exe)", true,
           uR"(C:\Windows\System32\cmd.exe)"},
          {uR"(\Device\HarddiskVolume10\Tools\a.exe)", true, uR"(E:\Tools\a.exe)"},
          {uR"(\Device\CdRom0\setup.exe)", true, uR"(D:\setup.exe)"},
          {uR"(\Device\HarddiskVolume1\)", true, uR"(C:\)"},
          {uR"(\Device\HarddiskVolume1)", false, u""},
          {uR"(\device\harddiskvolume1\a.exe)", false, u""},
          {uR"(\Device\HarddiskVolume2\a.exe)", false, u""},
          {uR"(\Device\HarddiskVolume10\Device\HarddiskVolume1\a.exe)", true,
           uR"(E:\Device\HarddiskVolume1\a.exe)"},
          {uR"(\??\C:\Tools\a.exe)", true, uR"(C:\Tools\a.exe)"},
          {uR"(\??\UNC\server\share\a.exe)", true, uR"(UNC\server\share\a.exe)"},
          {uR"(\??\Device\HarddiskVolume1\a.exe)", true, uR"(Device\HarddiskVolume1\a.exe)"},
          {uR"(\??\)", true, u""},
          {uR"(C:\Tools\a.exe)", false, u""},
          {uR"(\\?\C:\Tools\a.exe)", false, u""},
          {u"", false, u""},
      });
}

TEST(DevicePathRule, PrefixCollisionHoldsInEitherOrder) {
  const std::vector<Case> cases = {
      {uR"(\Device\HarddiskVolume10\a.exe)", true, uR"(E:\a.exe)"},
      {uR"(\Device\HarddiskVolume1\a.exe)", true, uR"(C:\a.exe)"},
      {uR"(\Device\HarddiskVolume100\a.exe)", false, u""},
      {uR"(\Device\HarddiskVolume10)", false, u""},
  };
  ExpectConversions(
      {{uR"(\Device\HarddiskVolume1\)", u"C:"}, {uR"(\Device\HarddiskVolume10\)", u"E:"}}, cases);
  ExpectConversions(
      {{uR"(\Device\HarddiskVolume10\)", u"E:"}, {uR"(\Device\HarddiskVolume1\)", u"C:"}}, cases);
}

TEST(DevicePathRule, EmptyMapConvertsOnlyObjectManagerPaths) {
  ExpectConversions({}, {
                            {uR"(\??\C:\a.exe)", true, uR"(C:\a.exe)"},
                            {uR"(\??\)", true, u""},
                            {uR"(\??)", false, u""},
                            {uR"(\??C:\a.exe)", false, u""},
                            {uR"(\?\?\C:\a.exe)", false, u""},
                            {uR"(\Device\HarddiskVolume1\a.exe)", false, u""},
                            {u"", false, u""},
                        });
}

TEST(DevicePathRule, ObjectManagerPrefixIsRemovedOnceAndExactly) {
  ExpectConversions(kThreeDrives,
                    {
                        {uR"(\??\\??\C:\a.exe)", true, uR"(\??\C:\a.exe)"},
                        {uR"(\??\\Device\CdRom0\a.exe)", true, uR"(\Device\CdRom0\a.exe)"},
                        {uR"(\??/C:\a.exe)", false, u""},
                        {uR"(/??/C:\a.exe)", false, u""},
                        {uR"( \??\C:\a.exe)", false, u""},
                    });
}

TEST(DevicePathRule, EntryBehindObjectManagerPrefixIsTriedFirst) {
  const DriveMap map = {{uR"(\??\C:\Projects\)", u"S:"}};
  ExpectConversions(map, {
                             {uR"(\??\C:\Projects\a.exe)", true, uR"(S:\a.exe)"},
                             {uR"(\??\C:\Projects)", true, uR"(C:\Projects)"},
                             {uR"(\??\C:\ProjectsX\a.exe)", true, uR"(C:\ProjectsX\a.exe)"},
                         });
}

TEST(DevicePathRule, DeviceStringEndingInBackslashNeedsBoth) {
  // The device query answered \Device\Odd\ and the build appended one more backslash.
  const DriveMap map = {{uR"(\Device\Odd\\)", u"K:"}, {uR"(\Device\Odd\)", u"L:"}};
  ExpectConversions(map, {
                             {uR"(\Device\Odd\\a.exe)", true, uR"(K:\a.exe)"},
                             {uR"(\Device\Odd\a.exe)", true, uR"(L:\a.exe)"},
                         });
  ExpectConversions({{uR"(\Device\Odd\\)", u"K:"}}, {
                                                        {uR"(\Device\Odd\a.exe)", false, u""},
                                                        {uR"(\Device\Odd\)", false, u""},
                                                        {uR"(\Device\Odd\\)", true, uR"(K:\)"},
                                                    });
}

TEST(DevicePathRule, FirstOfDuplicateDevicesWins) {
  const DriveMap map = {
      {uR"(\Device\HarddiskVolume3\)", u"F:"},
      {uR"(\Device\HarddiskVolume3\)", u"G:"},
  };
  ExpectConversions(map, {
                             {uR"(\Device\HarddiskVolume3\a.exe)", true, uR"(F:\a.exe)"},
                             {uR"(\Device\HarddiskVolume3\)", true, uR"(F:\)"},
                         });
}

TEST(DevicePathRule, NetworkDriveMatchesOnlyItsOwnDeviceString) {
  const DriveMap map = {
      {uR"(\Device\LanmanRedirector\;Z:0000000000012345\server\share\)", u"Z:"},
  };
  ExpectConversions(
      map, {
               {uR"(\Device\LanmanRedirector\;Z:0000000000012345\server\share\dir\a.exe)", true,
                uR"(Z:\dir\a.exe)"},
               {uR"(\Device\LanmanRedirector\;Z:0000000000012345\server\share)", false, u""},
               {uR"(\Device\Mup\server\share\dir\a.exe)", false, u""},
               {uR"(\Device\LanmanRedirector\server\share\dir\a.exe)", false, u""},
               {uR"(\\server\share\dir\a.exe)", false, u""},
               {uR"(\??\UNC\server\share\dir\a.exe)", true, uR"(UNC\server\share\dir\a.exe)"},
           });
}

TEST(DevicePathRule, ComparesCodeUnitsWithoutFolding) {
  const DriveMap map = {{u"\\Device\\Vol\u00C9\\", u"C:"}};
  ExpectConversions(map, {
                             {u"\\Device\\Vol\u00C9\\a.exe", true, u"C:\\a.exe"},
                             {u"\\Device\\Vol\u00E9\\a.exe", false, u""},
                             {u"\\DEVICE\\VOL\u00C9\\a.exe", false, u""},
                             {u"\\Device\\VolE\u0301\\a.exe", false, u""},
                         });
}

TEST(DevicePathRule, PathsWithEmbeddedNulAreComparedWhole) {
  const DriveMap map = {{uR"(\Device\HarddiskVolume1\)", u"C:"}};
  std::u16string path = uR"(\Device\HarddiskVolume1\a)";
  path += u'\0';
  path += u"b";
  std::u16string expected = uR"(C:\a)";
  expected += u'\0';
  expected += u"b";
  ExpectConversions(map, {{path, true, expected}});

  std::u16string truncated = uR"(\Device\HarddiskVolume1)";
  truncated += u'\0';
  ExpectConversions(map, {{truncated, false, u""}});
}

}  // namespace
