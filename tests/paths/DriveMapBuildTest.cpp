// Building the drive map from winsim's logical drives, and Initialize: one log line when the
// build fails, none otherwise, and the map released before an allocation failure passes on.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "Basalt.h"
#include "module/ModuleState.h"
#include "paths/DriveMapBuild.h"
#include "paths/PathConverter.h"
#include "winsim/Control.h"

void PrintTo(const DriveMapEntry& entry, std::ostream* out) {
  *out << ::testing::PrintToString(entry.DevicePrefix + u" " + entry.DriveName);
}

// FailingAllocation.cpp: allocations before operator new throws once; negative: never.
extern int g_allocationsBeforeFailure;

namespace {

using namespace std::string_literals;

constexpr winsim::Api kList = winsim::Api::GetLogicalDriveStringsW;
constexpr winsim::Api kQuery = winsim::Api::QueryDosDeviceW;

// The machine's drives: C:'s query answers two strings, of which only the first counts; E:'s
// device string ends with a backslash and gets one more; F: names D:'s device again.
const DriveMapEntry kC = {uR"(\Device\HarddiskVolume1\)", u"C:"};
const DriveMapEntry kD = {uR"(\Device\CdRom0\)", u"D:"};
const DriveMapEntry kE = {uR"(\Device\Odd\\)", u"E:"};
const DriveMapEntry kF = {uR"(\Device\CdRom0\)", u"F:"};
const DriveMapEntry kG = {uR"(\Device\Floppy0\)", u"G:"};

void ResetMachine() {
  winsim::Reset();
  winsim::AddDrive(u'C', {uR"(\Device\HarddiskVolume1)", uR"(\Device\Ignored)"});
  winsim::AddDrive(u'D', {uR"(\Device\CdRom0)"});
  winsim::AddDrive(u'E', {uR"(\Device\Odd\)"});
  winsim::AddDrive(u'F', {uR"(\Device\CdRom0)"});
}

// The drive list gains a drive (G:, H:, ...) between the size query and each of its first
// kReads reads. The four drives take 17 characters; each drive more takes 4.
template <int kReads>
void Grow() {
  winsim::OnDriveListCall([](DWORD length) {
    const auto letter = static_cast<char16_t>(u'G' + (length - 17) / 4);
    if (length != 0 && letter < u'G' + kReads) winsim::AddDrive(letter, {uR"(\Device\Floppy0)"});
  });
}

class DriveMapBuild : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachine();
    BasaltCaptureStart();
    CreateModuleObjects();
  }
  void TearDown() override {
    BasaltCaptureStop();
    DestroyModuleObjects();
    winsim::Reset();
  }
};

// A recorded log piece: the bytes taken.
std::string Piece(int index) {
  int length = 0;
  std::string text(static_cast<std::size_t>(BasaltCapturedPiece(index, &length, nullptr, 0)), 0);
  BasaltCapturedPiece(index, &length, text.data(), static_cast<int>(text.size()));
  return text;
}

struct BuildCase {
  const char* name;
  int listCalls;      // GetLogicalDriveStringsW calls
  DriveMap expected;  // empty: the build fails
  void (*arrange)();
};

// Each build runs over a map the previous one filled. Initialize logs one line when it fails,
// and a rebuild after it never does.
TEST_F(DriveMapBuild, InitializeRefillsTheMapOrLogsAndLeavesItEmpty) {
  const std::vector<BuildCase> cases = {
      {"as listed", 2, {kC, kD, kE, kF}, [] {}},
      {"D: fails", 2, {kC, kE, kF}, [] { winsim::FailCall(kQuery, ERROR_GEN_FAILURE, 1, 1); }},
      {"every query fails", 2, {}, [] { winsim::FailCall(kQuery, ERROR_GEN_FAILURE, 4); }},
      {"size query fails", 1, {}, [] { winsim::FailCall(kList, ERROR_GEN_FAILURE); }},
      {"read fails", 2, {}, [] { winsim::FailCall(kList, ERROR_GEN_FAILURE, 1, 1); }},
      {"no drives", 2, {}, winsim::ClearDrives},
      {"list grows once: read again", 3, {kC, kD, kE, kF, kG}, Grow<1>},
      {"list never settles", 1 + PathConverter::kDriveListReads, {}, Grow<26>},
  };
  for (const BuildCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResetMachine();
    ASSERT_TRUE(PathConverter::BuildDriveMap());
    c.arrange();
    BasaltCaptureStart();
    PathConverter::Initialize();
    EXPECT_EQ(PathConverter::CurrentDriveMap(), c.expected);
    EXPECT_EQ(winsim::CallCount(kList), 2 + c.listCalls);
    PathConverter::BuildDriveMap();
    ASSERT_EQ(BasaltCapturedCount(), c.expected.empty() ? 3 : 0);  // time, level, message
    if (c.expected.empty()) {
      EXPECT_EQ(Piece(1) + Piece(2), "3: PATHCONVERTER\t Unable to initialize.\n"s + '\0');
    }
  }
}

TEST_F(DriveMapBuild, AllocationFailureInInitializeReleasesTheMapAndPassesOn) {
  // Fail the first allocation, then the second, ... until Initialize gets through.
  int allowed = 0;
  for (;; ++allowed) {
    ASSERT_TRUE(PathConverter::BuildDriveMap());  // a filled map with storage to release
    g_allocationsBeforeFailure = allowed;
    try {
      PathConverter::Initialize();
      break;
    } catch (const std::bad_alloc&) {
    }
    EXPECT_EQ(PathConverter::CurrentDriveMap().capacity(), 0u) << allowed;
  }
  EXPECT_GE(std::exchange(g_allocationsBeforeFailure, -1), 0) << "swallowed at " << allowed;
  EXPECT_GT(allowed, 4);
}

}  // namespace
