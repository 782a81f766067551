// Devices: open, control codes and close, with the handle count.
#include <algorithm>
#include <cstring>

#include "FreshMachine.h"

namespace {

using Devices = FreshMachine;

// Answers code 0x222000 by echoing its input reversed; every other code fails.
class Reverser : public winsim::Device {
 public:
  BOOL Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD* bytesReturned) override {
    if (code != 0x222000 || outSize < inSize) {
      SetLastError(ERROR_INVALID_FUNCTION);
      return FALSE;
    }
    const auto* bytes = static_cast<const BYTE*>(in);
    std::reverse_copy(bytes, bytes + inSize, static_cast<BYTE*>(out));
    *bytesReturned = inSize;
    return TRUE;
  }
};

TEST_F(Devices, OpenControlClose) {
  winsim::AddDevice(u"VANTORFLT", std::make_shared<Reverser>());
  const int before = winsim::OpenHandleCount(winsim::HandleKind::Device);
  HANDLE handle = CreateFileW(u"\\\\.\\vantorFLT", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, handle);
  EXPECT_EQ(before + 1, winsim::OpenHandleCount(winsim::HandleKind::Device));
  BYTE in[3] = {1, 2, 3};
  BYTE out[4] = {};
  DWORD returned = 99;
  EXPECT_TRUE(DeviceIoControl(handle, 0x222000, in, 3, out, 4, &returned, nullptr));
  EXPECT_EQ(3u, returned);
  EXPECT_EQ(0, std::memcmp(out, "\3\2\1\0", 4));
  EXPECT_FALSE(DeviceIoControl(handle, 0x222004, in, 3, out, 4, &returned, nullptr));
  EXPECT_EQ(ERROR_INVALID_FUNCTION, GetLastError());

  EXPECT_TRUE(CloseHandle(handle));
  EXPECT_EQ(before, winsim::OpenHandleCount(winsim::HandleKind::Device));
  EXPECT_FALSE(CloseHandle(handle));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

}  // namespace
