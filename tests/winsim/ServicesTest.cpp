// The service database's error codes and the configuration query's buffer protocol.
#include <vector>

#include "FreshMachine.h"

namespace {

using Services = FreshMachine;

TEST_F(Services, ErrorCodesAndConfigQuery) {
  const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  const auto create = [manager] {
    return CreateServiceW(manager, u"vantorflt", u"Guard", SERVICE_ALL_ACCESS,
                          SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                          u"C:\\d\\flt.sys", nullptr, nullptr, nullptr, nullptr, nullptr);
  };
  winsim::AddService({.name = u"running", .binaryPath = u"r.sys", .running = true});
  const SC_HANDLE created = create();
  const SC_HANDLE running = OpenServiceW(manager, u"RUNNING", SERVICE_START);
  ASSERT_TRUE(manager && created && running);
  const auto expectFailure = [](bool succeeded, DWORD error) {
    EXPECT_FALSE(succeeded) << error;
    EXPECT_EQ(error, GetLastError());
  };
  expectFailure(OpenServiceW(manager, u"other", SERVICE_ALL_ACCESS), 1060);
  expectFailure(StartServiceW(running, 0, nullptr), 1056);
  expectFailure(create(), 1073);
  winsim::FailCall(winsim::Api::OpenServiceW, ERROR_ACCESS_DENIED);
  expectFailure(OpenServiceW(manager, u"vantorflt", SERVICE_ALL_ACCESS), ERROR_ACCESS_DENIED);

  DWORD needed = 0;
  EXPECT_FALSE(QueryServiceConfigW(created, nullptr, 0, &needed));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  std::vector<QUERY_SERVICE_CONFIGW> storage(needed / sizeof(QUERY_SERVICE_CONFIGW) + 1);
  QUERY_SERVICE_CONFIGW& config = storage.front();
  EXPECT_FALSE(QueryServiceConfigW(created, &config, needed - 1, &needed));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  ASSERT_TRUE(QueryServiceConfigW(created, &config, needed, &needed));
  EXPECT_EQ(std::u16string(u"C:\\d\\flt.sys"), config.lpBinaryPathName);
  EXPECT_EQ(std::u16string(u"Guard"), config.lpDisplayName);
  EXPECT_LE(reinterpret_cast<const BYTE*>(config.lpDisplayName + 6),
            reinterpret_cast<const BYTE*>(&config) + needed);  // the strings lie in the buffer
  for (SC_HANDLE handle : {running, created, manager}) EXPECT_TRUE(CloseServiceHandle(handle));
}

}  // namespace
