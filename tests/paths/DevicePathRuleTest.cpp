// The conversion rule: the first entry whose whole prefix begins the path wins, "\??\" goes only
// when none does, and a false result leaves the path exactly as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "paths/PathConverter.h"

namespace {

// Roots C:\, D:\, E:\ answering \Device\HarddiskVolume1, \Device\CdRom0, \Device\HarddiskVolume10.
const DriveMap kThree = {{uR"(\Device\HarddiskVolume1\)", u"C:"},
                         {uR"(\Device\CdRom0\)", u"D:"},
                         {uR"(\Device\HarddiskVolume10\)", u"E:"}};
const DriveMap kTenFirst = {{uR"(\Device\HarddiskVolume10\)", u"E:"},
                            {uR"(\Device\HarddiskVolume1\)", u"C:"}};
const DriveMap kBehindObjectManager = {{uR"(\??\C:\Projects\)", u"S:"}};
// The device query answered \Device\Odd\ and the build appended one more backslash.
const DriveMap kDoubleBackslash = {{uR"(\Device\Odd\\)", u"K:"}, {uR"(\Device\Odd\)", u"L:"}};
const DriveMap kDuplicates = {{uR"(\Device\HarddiskVolume3\)", u"F:"},
                              {uR"(\Device\HarddiskVolume3\)", u"G:"}};
const DriveMap kNonAscii = {{u"\\Device\\Vol\u00C9\\", u"C:"}};

struct Case {
  const DriveMap* map;
  std::u16string path;
  bool converted;
  std::u16string afterwards;  // when converted; otherwise the path must stay as it was
};

TEST(DevicePathRule, ConvertsAsTheTableSays) {
  const std::vector<Case> cases = {
      {&kThree, uR"(\Device\HarddiskVolume1\Windows\System32\cmd.exe)", true,
       uR"(C:\Windows\System32\cmd.exe)"},
      {&kThree, uR"(\Device\HarddiskVolume10\Tools\a.exe)", true, uR"(E:\Tools\a.exe)"},
      {&kThree, uR"(\Device\CdRom0\setup.exe)", true, uR"(D:\setup.exe)"},
      {&kThree, uR"(\Device\HarddiskVolume1\)", true, uR"(C:\)"},
      {&kThree, uR"(\Device\HarddiskVolume1)", false, {}},
      {&kThree, uR"(\device\harddiskvolume1\a.exe)", false, {}},
      {&kThree, uR"(\Device\HarddiskVolume2\a.exe)", false, {}},
      {&kThree, uR"(\Device\HarddiskVolume10\Device\HarddiskVolume1\a.exe)", true,
       uR"(E:\Device\HarddiskVolume1\a.exe)"},
      {&kThree, uR"(\??\C:\Tools\a.exe)", true, uR"(C:\Tools\a.exe)"},
      {&kThree, uR"(\??\UNC\server\share\a.exe)", true, uR"(UNC\server\share\a.exe)"},
      {&kThree, uR"(\??\Device\HarddiskVolume1\a.exe)", true, uR"(Device\HarddiskVolume1\a.exe)"},
      {&kThree, uR"(\??\)", true, u""},
      {&kThree, uR"(C:\Tools\a.exe)", false, {}},
      {&kThree, uR"(\\?\C:\Tools\a.exe)", false, {}},
      {&kThree, u"", false, {}},
      {&kThree, uR"(\??)", false, {}},
      {&kTenFirst, uR"(\Device\HarddiskVolume10\a.exe)", true, uR"(E:\a.exe)"},
      {&kTenFirst, uR"(\Device\HarddiskVolume1\a.exe)", true, uR"(C:\a.exe)"},
      {&kBehindObjectManager, uR"(\??\C:\Projects\a.exe)", true, uR"(S:\a.exe)"},
      {&kBehindObjectManager, uR"(\??\C:\Projects)", true, uR"(C:\Projects)"},
      {&kDoubleBackslash, uR"(\Device\Odd\\a.exe)", true, uR"(K:\a.exe)"},
      {&kDoubleBackslash, uR"(\Device\Odd\a.exe)", true, uR"(L:\a.exe)"},
      {&kDuplicates, uR"(\Device\HarddiskVolume3\a.exe)", true, uR"(F:\a.exe)"},
      {&kNonAscii, u"\\Device\\Vol\u00C9\\a.exe", true, u"C:\\a.exe"},
      {&kNonAscii, u"\\Device\\Vol\u00E9\\a.exe", false, {}},  // no case folding beyond ASCII
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.path));
    std::u16string path = c.path;
    EXPECT_EQ(PathConverter::ConvertDevicePath(*c.map, path), c.converted);
    EXPECT_EQ(path, c.converted ? c.afterwards : c.path);
  }
}

}  // namespace
