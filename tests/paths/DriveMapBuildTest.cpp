// Building the module's drive map from winsim's logical drives: order and duplicates kept,
// one backslash always appended, drives whose device query fails skipped, every failed build
// leaving the map empty, and a drive list that grows while it is read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "paths/DriveMapBuild.h"  // kDriveListReads
#include "paths/PathConverter.h"
#include "winsim/Control.h"

void PrintTo(const DriveMapEntry& entry, std::ostream* out) {
  *out << "{" << ::testing::PrintToString(entry.DevicePrefix) << ", "
       << ::testing::PrintToString(entry.DriveName) << "}";
}

namespace {

using winsim::Api;

class DriveMapBuild : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    PathConverter::Release();
  }
  void TearDown() override {
    PathConverter::Release();
    winsim::Reset();
  }

  static void AddThreeDrives() {
    winsim::AddDrive(u'C', {uR"(\Device\HarddiskVolume1)"});
    winsim::AddDrive(u'D', {uR"(\Device\CdRom0)"});
    winsim::AddDrive(u'E', {uR"(\Device\HarddiskVolume10)"});
  }

  static const DriveMap& Map() { return PathConverter::CurrentDriveMap(); }
};

const DriveMap kThreeDrives = {
    {uR"(\Device\HarddiskVolume1\)", u"C:"},
    {uR"(\Device\CdRom0\)", u"D:"},
    {uR"(\Device\HarddiskVolume10\)", u"E:"},
};

TEST_F(DriveMapBuild, ThreeDrivesGiveThreeEntriesInListOrder) {
  AddThreeDrives();
  ASSERT_TRUE(PathConverter::BuildDriveMap());
  EXPECT_EQ(Map(), kThreeDrives);
  EXPECT_EQ(winsim::CallCount(Api::GetLogicalDriveStringsW), 2);
  EXPECT_EQ(winsim::CallCount(Api::QueryDosDeviceW), 3);

  // The module's conversion uses the module's map.
  std::u16string path = uR"(\Device\HarddiskVolume10\Tools\a.exe)";
  EXPECT_TRUE(PathConverter::ConvertDevicePath(path));
  EXPECT_EQ(path, uR"(E:\Tools\a.exe)");
}

TEST_F(DriveMapBuild, AsksForTheListSizeThenReadsThenQueriesEachBareDriveName) {
  AddThreeDrives();
  winsim::StartJournal();
  ASSERT_TRUE(PathConverter::BuildDriveMap());
  const std::vector<std::string> expected = {
      "GetLogicalDriveStringsW(0, null)", "GetLogicalDriveStringsW(13, ptr)",
      "QueryDosDeviceW(C:, ptr, 260)",    "QueryDosDeviceW(D:, ptr, 260)",
      "QueryDosDeviceW(E:, ptr, 260)",
  };
  EXPECT_EQ(winsim::TakeJournal(), expected);
}

TEST_F(DriveMapBuild, DeviceStringsBecomePrefixesAsAnswered) {
  // Only the first string of a multi-string answer counts; a device string that already ends
  // with a backslash still gets one more; two letters on one device both stay; a network
  // drive is a drive like any other.
  winsim::AddDrive(u'C', {uR"(\Device\HarddiskVolume1)", uR"(\Device\Ignored)"});
  winsim::AddDrive(u'F', {uR"(\Device\Odd\)"});
  winsim::AddDrive(u'G', {uR"(\Device\HarddiskVolume3)"});
  winsim::AddDrive(u'H', {uR"(\Device\HarddiskVolume3)"});
  winsim::AddDrive(u'S', {uR"(\??\C:\Projects)"});
  winsim::AddDrive(u'Z', {uR"(\Device\LanmanRedirector\;Z:0000000000012345\server\share)"});
  ASSERT_TRUE(PathConverter::BuildDriveMap());
  const DriveMap expected = {
      {uR"(\Device\HarddiskVolume1\)", u"C:"},
      {uR"(\Device\Odd\\)", u"F:"},
      {uR"(\Device\HarddiskVolume3\)", u"G:"},
      {uR"(\Device\HarddiskVolume3\)", u"H:"},
      {uR"(\??\C:\Projects\)", u"S:"},
      {uR"(\Device\LanmanRedirector\;Z:0000000000012345\server\share\)", u"Z:"},
  };
  EXPECT_EQ(Map(), expected);
}

TEST_F(DriveMapBuild, DrivesWhoseDeviceQueryFailsAreSkipped) {
  AddThreeDrives();
  winsim::FailCall(Api::QueryDosDeviceW, ERROR_FILE_NOT_FOUND, 1, 1);
  EXPECT_TRUE(PathConverter::BuildDriveMap());
  EXPECT_EQ(Map(), (DriveMap{kThreeDrives[0], kThreeDrives[2]}));

  winsim::FailCall(Api::QueryDosDeviceW, ERROR_FILE_NOT_FOUND, 2);
  EXPECT_TRUE(PathConverter::BuildDriveMap());
  EXPECT_EQ(Map(), (DriveMap{kThreeDrives[2]}));
}

TEST_F(DriveMapBuild, DeviceStringTooLongForTheBufferSkipsTheDrive) {
  winsim::AddDrive(u'C', {uR"(\Device\HarddiskVolume1)"});
  winsim::AddDrive(u'Y', {uR"(\Device\)" + std::u16string(400, u'x')});
  ASSERT_TRUE(PathConverter::BuildDriveMap());
  EXPECT_EQ(Map(), (DriveMap{kThreeDrives[0]}));
}

// Each way a build can fail, run over a map that the previous build had filled.
struct FailedBuild {
  const char* name;
  void (*arrange)();
};

void PrintTo(const FailedBuild& build, std::ostream* out) {
  *out << build.name;
}

class FailedBuildEmptiesTheMap : public DriveMapBuild,
                                 public ::testing::WithParamInterface<FailedBuild> {};

TEST_P(FailedBuildEmptiesTheMap, AfterAFilledOne) {
  AddThreeDrives();
  ASSERT_TRUE(PathConverter::BuildDriveMap());
  ASSERT_EQ(Map().size(), 3u);

  GetParam().arrange();
  EXPECT_FALSE(PathConverter::BuildDriveMap());
  EXPECT_TRUE(Map().empty());

  std::u16string path = uR"(\Device\HarddiskVolume1\a.exe)";
  EXPECT_FALSE(PathConverter::ConvertDevicePath(path));
  EXPECT_EQ(path, uR"(\Device\HarddiskVolume1\a.exe)");
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FailedBuildEmptiesTheMap,
    ::testing::Values(
        FailedBuild{"SizeQueryFails",
                    [] { winsim::FailCall(Api::GetLogicalDriveStringsW, ERROR_GEN_FAILURE); }},
        FailedBuild{
            "ReadFails",
            [] { winsim::FailCall(Api::GetLogicalDriveStringsW, ERROR_GEN_FAILURE, 1, 1); }},
        FailedBuild{"EveryDeviceQueryFails",
                    [] { winsim::FailCall(Api::QueryDosDeviceW, ERROR_FILE_NOT_FOUND, 3); }},
        FailedBuild{"NoDrives", [] { winsim::ClearDrives(); }}),
    [](const ::testing::TestParamInfo<FailedBuild>& param) { return param.param.name; });

TEST_F(DriveMapBuild, DriveListThatGrowsOnceIsReadAgainWithTheSizeItNeeds) {
  AddThreeDrives();
  winsim::OnDriveListCall([](DWORD bufferLength) {
    if (bufferLength == 13) winsim::AddDrive(u'F', {uR"(\Device\Floppy0)"});
  });
  winsim::StartJournal();
  ASSERT_TRUE(PathConverter::BuildDriveMap());
  const std::vector<std::string> journal = winsim::TakeJournal();
  ASSERT_GE(journal.size(), 3u);
  EXPECT_EQ(journal[1], "GetLogicalDriveStringsW(13, ptr)");
  EXPECT_EQ(journal[2], "GetLogicalDriveStringsW(17, ptr)");
  DriveMap expected = kThreeDrives;
  expected.push_back({uR"(\Device\Floppy0\)", u"F:"});
  EXPECT_EQ(Map(), expected);
}

TEST_F(DriveMapBuild, DriveListThatNeverSettlesFailsTheBuild) {
  AddThreeDrives();
  ASSERT_TRUE(PathConverter::BuildDriveMap());
  char16_t next = u'F';
  winsim::OnDriveListCall([&next](DWORD bufferLength) {
    if (bufferLength != 0 && next <= u'Z') {
      winsim::AddDrive(next, {uR"(\Device\HarddiskVolume)" + std::u16string(1, next)});
      ++next;
    }
  });
  EXPECT_FALSE(PathConverter::BuildDriveMap());
  EXPECT_TRUE(Map().empty());
  EXPECT_EQ(winsim::CallCount(Api::GetLogicalDriveStringsW),
            2 + 1 + PathConverter::kDriveListReads);
  EXPECT_EQ(winsim::CallCount(Api::QueryDosDeviceW), 3);
}

TEST_F(DriveMapBuild, DriveListThatShrinksIsReadAsItIsNow) {
  AddThreeDrives();
  winsim::OnDriveListCall([](DWORD bufferLength) {
    if (bufferLength != 0) winsim::RemoveDrive(u'D');
  });
  ASSERT_TRUE(PathConverter::BuildDriveMap());
  EXPECT_EQ(Map(), (DriveMap{kThreeDrives[0], kThreeDrives[2]}));
  EXPECT_EQ(winsim::CallCount(Api::GetLogicalDriveStringsW), 2);
}

TEST_F(DriveMapBuild, ReleaseDropsEntriesAndStorage) {
  AddThreeDrives();
  ASSERT_TRUE(PathConverter::BuildDriveMap());
  PathConverter::Release();
  EXPECT_TRUE(Map().empty());
  EXPECT_EQ(Map().capacity(), 0u);
}

}  // namespace
