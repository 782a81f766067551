// The process and its modules: host path, module handles, the two looked-up exports.
#include <gtest/gtest.h>

#include <cstring>

#include "winsim/Control.h"

namespace {

class Modules : public testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  void TearDown() override { winsim::Reset(); }
};

TEST_F(Modules, HostPathAndTruncation) {
  winsim::SetHostPath(u"C:\\Apps\\host.exe");  // 16 characters
  struct {
    DWORD size, result, error;
    std::u16string text;
  } const cases[] = {
      {261, 16, 0, u"C:\\Apps\\host.exe"},
      {17, 16, 0, u"C:\\Apps\\host.exe"},
      {16, 16, ERROR_INSUFFICIENT_BUFFER, u"C:\\Apps\\host.ex"},
      {1, 1, ERROR_INSUFFICIENT_BUFFER, u""},
  };
  for (const auto& c : cases) {
    std::u16string buffer(261, u'#');
    SetLastError(0);
    EXPECT_EQ(c.result, GetModuleFileNameW(nullptr, buffer.data(), c.size)) << c.size;
    EXPECT_EQ(c.error, GetLastError()) << c.size;
    EXPECT_EQ(c.text, std::u16string(buffer.c_str())) << c.size;
  }
}

TEST_F(Modules, HandlesByName) {
  const HMODULE ntdll = GetModuleHandleW(u"ntdll.dll");
  const HMODULE kernel32 = LoadLibraryW(u"Kernel32.DLL");
  ASSERT_TRUE(ntdll && kernel32);
  EXPECT_NE(ntdll, kernel32);
  EXPECT_EQ(ntdll, GetModuleHandleW(u"NTDLL"));
  EXPECT_EQ(ntdll, LoadLibraryW(u"c:\\windows\\system32\\NTDLL.dll"));
  EXPECT_EQ(GetModuleHandleW(nullptr), GetModuleHandleW(u"HOST.EXE"));
  for (const char16_t* name : {u"user32.dll", u"ntdll.sys", u"system32\\kernel32.dll"}) {
    SetLastError(0);
    EXPECT_EQ(nullptr, GetModuleHandleW(name));
    EXPECT_EQ(ERROR_MOD_NOT_FOUND, GetLastError());
    EXPECT_EQ(nullptr, LoadLibraryW(name));
  }
}

TEST_F(Modules, NtCreateSectionCodeBytes) {
  const HMODULE ntdll = GetModuleHandleW(u"ntdll.dll");
  const auto* code = reinterpret_cast<const BYTE*>(GetProcAddress(ntdll, "NtCreateSection"));
  ASSERT_NE(nullptr, code);
  EXPECT_EQ(0, std::memcmp(code, "\xB8\x37\x00\x00\x00\xC3", 6));
  winsim::SetNtCreateSectionCode(std::vector<BYTE>{0xB8, 0x32, 0x01, 0x00, 0x00});
  const auto* changed = reinterpret_cast<const BYTE*>(GetProcAddress(ntdll, "NtCreateSection"));
  EXPECT_EQ(0, std::memcmp(changed, "\xB8\x32\x01\x00\x00", 5));
  EXPECT_EQ(0xB8, code[0]);  // the earlier address still holds its bytes

  winsim::SetNtCreateSectionCode(std::nullopt);
  for (HMODULE module : {ntdll, GetModuleHandleW(u"kernel32")}) {
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddress(module, "NtCreateSection"));
    EXPECT_EQ(ERROR_PROC_NOT_FOUND, GetLastError());
  }
}

TEST_F(Modules, Wow64RedirectionExport) {
  using Disable = BOOL(WINAPI*)(PVOID*);
  const HMODULE kernel32 = LoadLibraryW(u"Kernel32.DLL");
  const FARPROC proc = GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection");
  ASSERT_NE(nullptr, proc);
  PVOID old = nullptr;
  EXPECT_TRUE(reinterpret_cast<Disable>(reinterpret_cast<void (*)()>(proc))(&old));
  EXPECT_NE(nullptr, old);
  EXPECT_EQ(1, winsim::Wow64RedirectionCalls());
  winsim::SetWow64RedirectionPresent(false);
  EXPECT_EQ(nullptr, GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection"));
  EXPECT_EQ(ERROR_PROC_NOT_FOUND, GetLastError());
  winsim::Reset();
  EXPECT_EQ(0, winsim::Wow64RedirectionCalls());
  EXPECT_EQ(proc, GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection"));
}

}  // namespace
