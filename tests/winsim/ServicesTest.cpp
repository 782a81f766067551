// The service database's error codes.
#include "FreshMachine.h"

namespace {

using Services = FreshMachine;

TEST_F(Services, ErrorCodes) {
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
  EXPECT_FALSE(OpenServiceW(manager, u"other", SERVICE_ALL_ACCESS));
  EXPECT_EQ(1060u, GetLastError());  // does not exist
  EXPECT_FALSE(StartServiceW(running, 0, nullptr));
  EXPECT_EQ(1056u, GetLastError());  // already running
  EXPECT_FALSE(create());
  EXPECT_EQ(1073u, GetLastError());  // already exists
  for (SC_HANDLE handle : {running, created, manager}) EXPECT_TRUE(CloseServiceHandle(handle));
}

}  // namespace
