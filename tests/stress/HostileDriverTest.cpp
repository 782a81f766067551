// A driver that hands over hostile paths: no terminator up to the guard page, the longest path,
// lone surrogates, embedded zeros. The module answers every one, asks the scanner exactly the
// text it should, and never reads past the bound.
#include "Stress.h"
#include "requests/RequestPump.h"

namespace {

using namespace std::string_literals;
using ReplyMode = GuardDriver::ReplyMode;
constexpr std::u16string_view kVolume1 = u"\\Device\\HarddiskVolume1";

class HostileDriverTest : public ModuleHarness {
 protected:
  // One launch: the scanner was asked `scanned`, once, and its answer is the outcome.
  void ExpectServed(std::u16string_view kernel, const std::u16string& scanned) {
    ArbiterClearQueries();
    const Outcome outcome = driver->Launch(kernel).outcome;
    ASSERT_EQ(ArbiterQueryCount(), 1);
    EXPECT_TRUE(Query(0) == scanned) << "the scanner saw other text";
    const bool allowed = ArbiterEvaluate(reinterpret_cast<const ArbiterChar*>(scanned.c_str()));
    EXPECT_EQ(outcome, allowed ? Outcome::Allowed : Outcome::Denied);
  }
};

// Lone surrogates pass through conversion unchanged, also in a device name; the first zero unit
// ends a path. A path of the longest length is served whole; a record with no zero unit up to the
// guard page (the driver repeats the pattern over the whole path area) is denied unasked.
TEST_F(HostileDriverTest, PathsReachTheScannerExactly) {
  winsim::AddDrive(u'S', {u"\\Device\\Vol\xDC00"});
  driver->SetPathMode(GuardDriver::PathMode::ZerosKept);
  ASSERT_TRUE(CVantor::Start());
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"\\Device\\HarddiskVolume1\\a\xD800.exe", u"C:\\a\xD800.exe"},
      {u"\\Device\\HarddiskVolume1\\\xDC00\xD800\\blocked", u"C:\\\xDC00\xD800\\blocked"},
      {u"\\Device\\Vol\xDC00\\blocked\xDBFF", u"S:\\blocked\xDBFF"},
      {u"\\Device\\Vol\xDC01\\x.exe", u"\\Device\\Vol\xDC01\\x.exe"},  // no drive: as it came
      {u"\\??\\C:\\\xDFFF.exe", u"C:\\\xDFFF.exe"},
      {u"\\Device\\HarddiskVolume1\\ok.exe\0\\blocked.exe"s, u"C:\\ok.exe"},
      {u"\0\\Device\\HarddiskVolume1\\blocked.exe"s, u""}};
  for (const auto& [kernel, scanned] : cases) ExpectServed(kernel, scanned);

  driver->SetPathMode(GuardDriver::PathMode::Overlong, kMaxImagePathUnits);
  const std::u16string longest = u"\\Device\\HarddiskVolume1\\blocked";
  std::u16string scanned = u"C:\\blocked\\" + std::u16string(kMaxImagePathUnits, u'x');
  scanned.resize(kMaxImagePathUnits - kVolume1.size() + 2);
  ExpectServed(longest, scanned);

  driver->SetPathMode(GuardDriver::PathMode::Unterminated);
  for (std::u16string_view pattern :
       {u"\\Device\\Mup\\server\\a.exe", u"\\Device\\HarddiskVolume1\\ok\\", u"\xDC00\xD800"}) {
    ArbiterClearQueries();
    EXPECT_EQ(driver->Launch(pattern).outcome, Outcome::Denied);
    EXPECT_EQ(ArbiterQueryCount(), 0);
    const std::u16string_view area(driver->Slot()->ImagePath, GuardDriver::kPathAreaUnits);
    EXPECT_EQ(area.find(u'\0'), area.npos);  // the premise: no zero up to the guard page
  }
}

}  // namespace
