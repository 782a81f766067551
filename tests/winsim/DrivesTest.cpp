// Logical drives: the two-call list protocol and the DOS device multi-strings.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "winsim/Control.h"

namespace {

using winsim::Api;

class Drives : public testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    winsim::AddDrive(u'D', {u"\\Device\\CdRom0"});
    winsim::AddDrive(u'c', {u"\\Device\\HarddiskVolume1", u"\\Device\\Alias"});
  }
  void TearDown() override { winsim::Reset(); }
};

std::u16string Chars(const WCHAR* buffer, DWORD count) {
  return std::u16string(buffer, count);
}

TEST_F(Drives, TwoCallProtocolInLetterOrder) {
  EXPECT_EQ(9u, GetLogicalDriveStringsW(0, nullptr));
  WCHAR buffer[12];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(9u, GetLogicalDriveStringsW(8, buffer));  // one short: still the size needed
  EXPECT_EQ(u'#', buffer[0]);
  EXPECT_EQ(8u, GetLogicalDriveStringsW(9, buffer));
  EXPECT_EQ(std::u16string(u"C:\\\0D:\\\0\0#", 10), Chars(buffer, 10));
}

TEST_F(Drives, ChangeBetweenTheTwoCalls) {
  std::vector<DWORD> lengths;
  winsim::OnDriveListCall([&lengths](DWORD length) {
    lengths.push_back(length);
    if (lengths.size() == 2) winsim::AddDrive(u'E', {u"\\Device\\HarddiskVolume5"});
  });
  const DWORD needed = GetLogicalDriveStringsW(0, nullptr);
  EXPECT_EQ(9u, needed);
  std::vector<WCHAR> buffer(needed);
  EXPECT_EQ(13u, GetLogicalDriveStringsW(needed, buffer.data()));  // a drive came: too small
  buffer.resize(13);
  EXPECT_EQ(12u, GetLogicalDriveStringsW(13, buffer.data()));
  EXPECT_EQ((std::vector<DWORD>{0, 9, 13}), lengths);
}

TEST_F(Drives, NoDrivesAndFailures) {
  winsim::ClearDrives();
  WCHAR buffer[4] = {u'#'};
  EXPECT_EQ(1u, GetLogicalDriveStringsW(0, nullptr));
  EXPECT_EQ(0u, GetLogicalDriveStringsW(4, buffer));
  EXPECT_EQ(0, buffer[0]);
  winsim::FailCall(Api::GetLogicalDriveStringsW, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(0u, GetLogicalDriveStringsW(0, nullptr));
  EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, GetLastError());
}

TEST_F(Drives, DosDeviceTargets) {
  struct {
    const char16_t* name;
    DWORD room;
    DWORD result;
    DWORD error;
    std::u16string stored;
  } const cases[] = {
      {u"D:", 260, 16, 0, std::u16string(u"\\Device\\CdRom0\0\0", 16)},
      {u"d:", 16, 16, 0, std::u16string(u"\\Device\\CdRom0\0\0", 16)},
      {u"D:", 15, 0, ERROR_INSUFFICIENT_BUFFER, u""},
      {u"C:", 260, 39, 0, std::u16string(u"\\Device\\HarddiskVolume1\0\\Device\\Alias\0\0", 39)},
      {u"C:\\", 260, 0, ERROR_FILE_NOT_FOUND, u""},
      {u"E:", 260, 0, ERROR_FILE_NOT_FOUND, u""},
      {u"C", 260, 0, ERROR_FILE_NOT_FOUND, u""},
      {nullptr, 260, 10, 0, std::u16string(u"C:\0D:\0Z:\0\0", 10)},
      {u"Z:", 260, 0, ERROR_FILE_NOT_FOUND, u""},  // listed, but without targets
  };
  winsim::AddDrive(u'Z', {});
  for (const auto& c : cases) {
    WCHAR buffer[260] = {};
    SetLastError(0);
    EXPECT_EQ(c.result, QueryDosDeviceW(c.name, buffer, c.room));
    EXPECT_EQ(c.error, GetLastError());
    EXPECT_EQ(c.stored, Chars(buffer, static_cast<DWORD>(c.stored.size())));
  }
}

TEST_F(Drives, ChangedFromAnotherThreadWhileRead) {
  std::atomic<bool> stop{false};
  std::thread writer([&stop] {
    while (!stop) {
      winsim::AddDrive(u'F', {u"\\Device\\Usb"});
      winsim::RemoveDrive(u'F');
    }
  });
  for (int i = 0; i < 2000; ++i) {
    WCHAR buffer[32];
    const DWORD result = GetLogicalDriveStringsW(32, buffer);
    EXPECT_TRUE(result == 8 || result == 12) << result;
  }
  stop = true;
  writer.join();
}

}  // namespace
