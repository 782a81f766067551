// Load-time set-up of the drive map: the one log line when the build fails, silence
// everywhere else, and the map released before an allocation failure leaves Initialize.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "Basalt.h"
#include "paths/FailingAllocation.h"
#include "paths/PathConverter.h"
#include "winsim/Control.h"

namespace {

std::vector<std::string> CapturedPieces() {
  std::vector<std::string> pieces;
  for (int i = 0; i < BasaltCapturedCount(); ++i) {
    int length = 0;
    const int taken = BasaltCapturedPiece(i, &length, nullptr, 0);
    std::string piece(static_cast<std::size_t>(taken), '\0');
    BasaltCapturedPiece(i, &length, piece.data(), taken);
    pieces.push_back(piece);
  }
  return pieces;
}

class PathConverterInitialize : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    winsim::SetLocalTime(9, 5);
    PathConverter::Release();
    BasaltCaptureStart();
  }
  void TearDown() override {
    BasaltCaptureStop();
    PathConverter::Release();
    winsim::Reset();
  }
};

TEST_F(PathConverterInitialize, FailedBuildLogsOneErrorLine) {
  PathConverter::Initialize();
  EXPECT_TRUE(PathConverter::CurrentDriveMap().empty());
  const std::vector<std::string> pieces = CapturedPieces();
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0], "[09:05] ");
  EXPECT_EQ(pieces[1], "3: ");
  // The message piece's length counts its terminating zero.
  static constexpr char kMessage[] = "PATHCONVERTER\t Unable to initialize.\n";
  EXPECT_EQ(pieces[2], std::string(kMessage, sizeof kMessage));

  // The load goes on: "\??\" paths still convert with the empty map.
  std::u16string path = uR"(\??\C:\a.exe)";
  EXPECT_TRUE(PathConverter::ConvertDevicePath(path));
  EXPECT_EQ(path, uR"(C:\a.exe)");
}

TEST_F(PathConverterInitialize, SuccessfulBuildLogsNothing) {
  winsim::AddDrive(u'C', {uR"(\Device\HarddiskVolume1)"});
  PathConverter::Initialize();
  EXPECT_EQ(PathConverter::CurrentDriveMap(), (DriveMap{{uR"(\Device\HarddiskVolume1\)", u"C:"}}));
  EXPECT_EQ(BasaltCapturedCount(), 0);
}

TEST_F(PathConverterInitialize, RebuildsAndConversionsNeverLog) {
  winsim::FailCall(winsim::Api::GetLogicalDriveStringsW, ERROR_GEN_FAILURE);
  EXPECT_FALSE(PathConverter::BuildDriveMap());
  EXPECT_FALSE(PathConverter::BuildDriveMap());  // no drives at all
  std::u16string path = uR"(\Device\HarddiskVolume1\a.exe)";
  EXPECT_FALSE(PathConverter::ConvertDevicePath(path));
  EXPECT_EQ(BasaltCapturedCount(), 0);
}

TEST_F(PathConverterInitialize, AllocationFailureReleasesTheMapAndPassesOn) {
  for (char16_t letter = u'C'; letter <= u'H'; ++letter) {
    winsim::AddDrive(letter, {uR"(\Device\HarddiskVolume)" + std::u16string(1, letter)});
  }
  // Fail the first allocation, then the second, ... until Initialize gets through.
  int failures = 0;
  for (int allowed = 0;; ++allowed) {
    ASSERT_LT(allowed, 10000) << "Initialize never got through";
    ASSERT_TRUE(PathConverter::BuildDriveMap());  // a filled map with storage to release
    FailAllocationAfter(allowed);
    bool threw = false;
    try {
      PathConverter::Initialize();
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    const bool armed = DisarmAllocationFailure();
    if (!threw) {
      EXPECT_TRUE(armed) << "the failure was swallowed after allocation " << allowed;
      EXPECT_EQ(PathConverter::CurrentDriveMap().size(), 6u);
      break;
    }
    ++failures;
    EXPECT_TRUE(PathConverter::CurrentDriveMap().empty()) << "allocation " << allowed;
    EXPECT_EQ(PathConverter::CurrentDriveMap().capacity(), 0u) << "allocation " << allowed;
  }
  EXPECT_GT(failures, 6);
}

}  // namespace
