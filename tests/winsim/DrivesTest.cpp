// Logical drives: the two-call list protocol and the DOS device multi-strings.
#include <vector>

#include "FreshMachine.h"

namespace {

using Drives = FreshMachine;

TEST_F(Drives, ListThenDosDevices) {
  winsim::AddDrive(u'D', {u"\\Device\\CdRom0"});
  winsim::AddDrive(u'c', {u"\\Device\\HarddiskVolume1", u"\\Device\\Alias"});
  std::vector<DWORD> lengths;
  winsim::OnDriveListCall([&lengths](DWORD length) {
    lengths.push_back(length);
    if (lengths.size() == 3) winsim::AddDrive(u'E', {});  // listed, but without targets
  });
  EXPECT_EQ(9u, GetLogicalDriveStringsW(0, nullptr));
  WCHAR list[16];
  std::fill(std::begin(list), std::end(list), u'#');
  EXPECT_EQ(9u, GetLogicalDriveStringsW(8, list));  // one short: the size needed, no text
  EXPECT_EQ(u'#', list[0]);
  EXPECT_EQ(13u, GetLogicalDriveStringsW(9, list));  // E: came just before this call
  EXPECT_EQ(12u, GetLogicalDriveStringsW(13, list));
  EXPECT_EQ(std::u16string(u"C:\\\0D:\\\0E:\\\0\0#", 14), std::u16string(list, 14));
  EXPECT_EQ((std::vector<DWORD>{0, 8, 9, 13}), lengths);

  struct {
    const char16_t* name;
    DWORD room, result, error;
    std::u16string stored;
  } const cases[] = {
      {u"d:", 16, 16, 0, std::u16string(u"\\Device\\CdRom0\0\0", 16)},
      {u"D:", 15, 0, ERROR_INSUFFICIENT_BUFFER, u""},
      {u"C:", 260, 39, 0, std::u16string(u"\\Device\\HarddiskVolume1\0\\Device\\Alias\0\0", 39)},
      {u"E:", 260, 0, ERROR_FILE_NOT_FOUND, u""},
  };
  for (const auto& c : cases) {
    WCHAR buffer[260] = {};
    SetLastError(0);
    EXPECT_EQ(c.result, QueryDosDeviceW(c.name, buffer, c.room)) << c.room;
    EXPECT_EQ(c.error, GetLastError()) << c.room;
    EXPECT_EQ(c.stored, std::u16string(buffer, c.stored.size()));
  }
}

}  // namespace
