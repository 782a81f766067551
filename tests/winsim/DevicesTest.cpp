// Devices: open, control codes and close, with handle counts and the journal.
#include <gtest/gtest.h>

#include <cstring>

#include "winsim/Control.h"

namespace {

using winsim::HandleKind;

// Answers code 0x222000 by echoing its input reversed; every other code fails.
class Reverser : public winsim::Device {
 public:
  BOOL Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD* bytesReturned) override {
    ++controls;
    if (code != 0x222000 || outSize < inSize) {
      SetLastError(ERROR_INVALID_FUNCTION);
      return FALSE;
    }
    for (DWORD i = 0; i < inSize; ++i) {
      static_cast<BYTE*>(out)[i] = static_cast<const BYTE*>(in)[inSize - 1 - i];
    }
    *bytesReturned = inSize;
    return TRUE;
  }
  void Opened() override { ++opens; }
  void Closed() override { ++closes; }
  int controls = 0, opens = 0, closes = 0;
};

class Devices : public testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    winsim::AddDevice(u"VANTORFLT", device);
    before = winsim::OpenHandleCount(HandleKind::Device);
  }
  void TearDown() override {
    EXPECT_EQ(before, winsim::OpenHandleCount(HandleKind::Device));
    winsim::Reset();
  }
  static HANDLE Open(const char16_t* name, DWORD access = GENERIC_READ | GENERIC_WRITE) {
    return CreateFileW(name, access, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM, nullptr);
  }

  std::shared_ptr<Reverser> device = std::make_shared<Reverser>();
  int before = 0;
};

TEST_F(Devices, OpenControlClose) {
  HANDLE handle = Open(u"\\\\.\\vantorFLT");
  ASSERT_NE(INVALID_HANDLE_VALUE, handle);
  EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(handle) % 4);
  EXPECT_EQ(1, device->opens);
  EXPECT_EQ(before + 1, winsim::OpenHandleCount(HandleKind::Device));
  BYTE in[3] = {1, 2, 3};
  BYTE out[4] = {};
  DWORD returned = 99;
  EXPECT_TRUE(DeviceIoControl(handle, 0x222000, in, 3, out, 4, &returned, nullptr));
  EXPECT_EQ(3u, returned);
  EXPECT_EQ(0, std::memcmp(out, "\3\2\1\0", 4));
  EXPECT_FALSE(DeviceIoControl(handle, 0x222004, in, 3, out, 4, &returned, nullptr));
  EXPECT_EQ(ERROR_INVALID_FUNCTION, GetLastError());
  EXPECT_EQ(0u, returned);

  winsim::RemoveDevice(u"vantorflt");  // open handles keep working
  EXPECT_TRUE(DeviceIoControl(handle, 0x222000, in, 0, out, 0, &returned, nullptr));
  EXPECT_TRUE(CloseHandle(handle));
  EXPECT_EQ(1, device->closes);
  EXPECT_FALSE(CloseHandle(handle));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
  EXPECT_FALSE(DeviceIoControl(handle, 0x222000, in, 3, out, 4, &returned, nullptr));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
  EXPECT_EQ(3, device->controls);
}

TEST_F(Devices, RefusedOpensAndControls) {
  for (const char16_t* name : {u"\\\\.\\OTHER", u"VANTORFLT", u"\\\\?\\VANTORFLT", u"C:\\f.txt",
                               static_cast<const char16_t*>(nullptr)}) {
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(name));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
  }
  winsim::FailCall(winsim::Api::CreateFileW, ERROR_ACCESS_DENIED);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(u"\\\\.\\VANTORFLT"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  EXPECT_EQ(0, device->opens);

  // A code that needs write access, on a handle opened for reading only.
  HANDLE readOnly = Open(u"\\\\.\\VANTORFLT", GENERIC_READ);
  const DWORD writeCode = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800u, METHOD_BUFFERED, FILE_WRITE_ACCESS);
  DWORD returned = 0;
  EXPECT_FALSE(DeviceIoControl(readOnly, writeCode, nullptr, 0, nullptr, 0, &returned, nullptr));
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  EXPECT_EQ(0, device->controls);
  EXPECT_TRUE(CloseHandle(readOnly));
}

TEST_F(Devices, JournalLines) {
  winsim::StartJournal();
  HANDLE handle = Open(u"\\\\.\\VANTORFLT");
  BYTE buffer[16] = {};
  DWORD returned = 0;
  DeviceIoControl(handle, 0x222000, buffer, 16, buffer, 16, &returned, nullptr);
  CloseHandle(handle);
  char value[32];
  std::snprintf(value, sizeof value, "%#zx", reinterpret_cast<std::uintptr_t>(handle));
  EXPECT_EQ(
      (std::vector<std::string>{
          "CreateFileW(\\\\.\\VANTORFLT, 0xc0000000, 0, null, 3, 0x4, null)",
          std::string("DeviceIoControl(") + value + ", 0x222000, ptr, 16, ptr, 16, ptr, null)",
          std::string("CloseHandle(") + value + ")"}),
      winsim::TakeJournal());
}

}  // namespace
