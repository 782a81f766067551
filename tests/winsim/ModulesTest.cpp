// The process and its modules: host path, module handles, the two looked-up exports.
#include <gtest/gtest.h>

#include <cstring>

#include "winsim/Control.h"

namespace {

using winsim::Api;

class Modules : public testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  void TearDown() override { winsim::Reset(); }
};

TEST_F(Modules, HostPathAndTruncation) {
  winsim::SetHostPath(u"C:\\Apps\\host.exe");  // 16 characters
  struct {
    DWORD size;
    DWORD result;
    DWORD error;
    std::u16string text;
  } const cases[] = {
      {261, 16, 0, u"C:\\Apps\\host.exe"},
      {17, 16, 0, u"C:\\Apps\\host.exe"},
      {16, 16, ERROR_INSUFFICIENT_BUFFER, u"C:\\Apps\\host.ex"},
      {4, 4, ERROR_INSUFFICIENT_BUFFER, u"C:\\"},
      {1, 1, ERROR_INSUFFICIENT_BUFFER, u""},
  };
  for (const auto& c : cases) {
    std::u16string buffer(261, u'#');
    SetLastError(0);
    EXPECT_EQ(c.result, GetModuleFileNameW(nullptr, buffer.data(), c.size)) << c.size;
    EXPECT_EQ(c.error, GetLastError()) << c.size;
    EXPECT_EQ(c.text, std::u16string(buffer.c_str())) << c.size;
  }
  winsim::Reset();
  WCHAR buffer[MAX_PATH];
  GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  EXPECT_EQ(std::u16string(u"C:\\Program Files\\Host\\host.exe"), buffer);
}

TEST_F(Modules, HandlesByName) {
  const HMODULE ntdll = GetModuleHandleW(u"ntdll.dll");
  const HMODULE kernel32 = LoadLibraryW(u"Kernel32.DLL");
  ASSERT_NE(nullptr, ntdll);
  ASSERT_NE(nullptr, kernel32);
  EXPECT_NE(ntdll, kernel32);
  EXPECT_EQ(ntdll, GetModuleHandleW(u"NTDLL"));
  EXPECT_EQ(ntdll, LoadLibraryW(u"c:\\windows\\system32\\NTDLL.dll"));
  EXPECT_EQ(kernel32, GetModuleHandleW(u"kernel32.dll"));
  EXPECT_EQ(GetModuleHandleW(nullptr), GetModuleHandleW(u"HOST.EXE"));
  WCHAR path[MAX_PATH];
  EXPECT_EQ(29u, GetModuleFileNameW(ntdll, path, MAX_PATH));
  EXPECT_EQ(std::u16string(u"C:\\Windows\\System32\\ntdll.dll"), path);
  for (const char16_t* name : {u"user32.dll", u"ntdll.sys", u"system32\\kernel32.dll"}) {
    SetLastError(0);
    EXPECT_EQ(nullptr, GetModuleHandleW(name));
    EXPECT_EQ(ERROR_MOD_NOT_FOUND, GetLastError());
    EXPECT_EQ(nullptr, LoadLibraryW(name));
  }
  winsim::FailCall(Api::LoadLibraryW, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(nullptr, LoadLibraryW(u"kernel32.dll"));
  EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, GetLastError());
}

TEST_F(Modules, NtCreateSectionCodeBytes) {
  const HMODULE ntdll = GetModuleHandleW(u"ntdll.dll");
  FARPROC entry = GetProcAddress(ntdll, "NtCreateSection");
  ASSERT_NE(nullptr, entry);
  const auto* code = reinterpret_cast<const BYTE*>(entry);
  EXPECT_EQ(0, std::memcmp(code, "\xB8\x37\x00\x00\x00\xC3", 6));

  winsim::SetNtCreateSectionCode(std::vector<BYTE>{0xB8, 0x32, 0x01, 0x00, 0x00});
  const auto* changed = reinterpret_cast<const BYTE*>(GetProcAddress(ntdll, "NtCreateSection"));
  EXPECT_EQ(0, std::memcmp(changed, "\xB8\x32\x01\x00\x00", 5));
  EXPECT_EQ(0xB8, code[0]);  // the earlier address still holds its bytes

  winsim::SetNtCreateSectionCode(std::nullopt);
  EXPECT_EQ(nullptr, GetProcAddress(ntdll, "NtCreateSection"));
  EXPECT_EQ(ERROR_PROC_NOT_FOUND, GetLastError());
  EXPECT_EQ(nullptr, GetProcAddress(GetModuleHandleW(u"kernel32.dll"), "NtCreateSection"));
  EXPECT_EQ(nullptr, GetProcAddress(ntdll, reinterpret_cast<LPCSTR>(std::uintptr_t{12})));
  EXPECT_EQ(ERROR_PROC_NOT_FOUND, GetLastError());
}

TEST_F(Modules, Wow64RedirectionExport) {
  using Disable = BOOL(WINAPI*)(PVOID*);
  const HMODULE kernel32 = LoadLibraryW(u"Kernel32.DLL");
  const FARPROC proc = GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection");
  auto disable = reinterpret_cast<Disable>(reinterpret_cast<void (*)()>(proc));
  ASSERT_NE(nullptr, disable);
  PVOID old = nullptr;
  EXPECT_TRUE(disable(&old));
  EXPECT_NE(nullptr, old);
  EXPECT_TRUE(disable(&old));
  EXPECT_EQ(2, winsim::Wow64RedirectionCalls());

  winsim::SetWow64RedirectionPresent(false);
  EXPECT_EQ(nullptr, GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection"));
  EXPECT_EQ(ERROR_PROC_NOT_FOUND, GetLastError());
  winsim::Reset();
  EXPECT_EQ(0, winsim::Wow64RedirectionCalls());
  EXPECT_NE(nullptr, GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection"));
}

TEST_F(Modules, ProcessId) {
  EXPECT_EQ(4242u, GetCurrentProcessId());
  winsim::SetProcessId(0x1234);
  EXPECT_EQ(0x1234u, GetCurrentProcessId());
}

}  // namespace
