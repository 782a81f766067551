// The service control manager: the database, its error codes, driver loading and the
// configuration query.
#include <gtest/gtest.h>

#include <functional>

#include "winsim/Control.h"

namespace {

using winsim::HandleKind;

class EchoDevice : public winsim::Device {
 public:
  BOOL Control(DWORD, const void*, DWORD, void*, DWORD, DWORD*) override { return TRUE; }
};

class Services : public testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    winsim::RegisterDriverImage(u"VantorFlt.SYS", u"VANTORFLT", [this] {
      ++loads;
      return std::make_shared<EchoDevice>();
    });
    open = winsim::OpenHandleCount(HandleKind::ServiceManager) +
           winsim::OpenHandleCount(HandleKind::Service);
    manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  }
  void TearDown() override {
    EXPECT_TRUE(CloseServiceHandle(manager));
    EXPECT_EQ(open, winsim::OpenHandleCount(HandleKind::ServiceManager) +
                        winsim::OpenHandleCount(HandleKind::Service));
    winsim::Reset();
  }
  SC_HANDLE Create(const char16_t* name, DWORD access, const char16_t* path, SC_HANDLE in = {}) {
    return CreateServiceW(in ? in : manager, name, name, access, SERVICE_KERNEL_DRIVER,
                          SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path, nullptr, nullptr,
                          nullptr, nullptr, nullptr);
  }

  int loads = 0;
  int open = 0;
  SC_HANDLE manager = nullptr;
};

TEST_F(Services, CreateRecordsThePropertiesAndStartLoadsTheDriverOnce) {
  SC_HANDLE service =
      Create(u"vantorflt", SERVICE_START | SERVICE_STOP, u"C:\\Host\\vantorflt.sys");
  ASSERT_NE(nullptr, service);
  const auto config = winsim::FindService(u"VANTORFLT");
  ASSERT_TRUE(config.has_value());
  EXPECT_EQ(u"vantorflt", config->displayName);
  EXPECT_EQ(u"C:\\Host\\vantorflt.sys", config->binaryPath);
  EXPECT_FALSE(config->loadOrderGroup || config->dependencies || config->serviceStartName ||
               config->password || config->running);
  EXPECT_TRUE(StartServiceW(service, 0, nullptr));
  EXPECT_TRUE(winsim::FindService(u"vantorflt")->running);
  EXPECT_FALSE(StartServiceW(service, 0, nullptr));
  EXPECT_EQ(ERROR_SERVICE_ALREADY_RUNNING, GetLastError());
  EXPECT_EQ(1, loads);
  HANDLE device = CreateFileW(u"\\\\.\\VantorFlt", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, device);
  EXPECT_TRUE(CloseHandle(device));
  EXPECT_TRUE(CloseServiceHandle(service));
}

TEST_F(Services, ErrorCodes) {
  winsim::AddService({.name = u"vantorflt", .binaryPath = u"x.sys", .running = true});
  winsim::AddService({.name = u"nodriver", .binaryPath = u"C:\\missing.sys"});
  winsim::RegisterDriverImage(u"broken.sys", u"BROKEN", [] { return nullptr; });
  winsim::AddService({.name = u"broken", .binaryPath = u"\\SystemRoot\\broken.sys"});
  SC_HANDLE running = OpenServiceW(manager, u"VantorFlt", SERVICE_ALL_ACCESS);
  SC_HANDLE stopped = OpenServiceW(manager, u"nodriver", SERVICE_ALL_ACCESS);
  SC_HANDLE readOnly = OpenServiceW(manager, u"nodriver", GENERIC_READ);
  SC_HANDLE broken = OpenServiceW(manager, u"broken", SERVICE_START);
  SC_HANDLE connectOnly = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  ASSERT_TRUE(running && stopped && readOnly && broken && connectOnly);
  struct {
    const char* what;
    std::function<bool()> call;  // true when the call succeeded
    DWORD expected;
  } const cases[] = {
      {"absent", [&] { return OpenServiceW(manager, u"other", SERVICE_ALL_ACCESS); },
       ERROR_SERVICE_DOES_NOT_EXIST},
      {"injected",
       [&] {
         winsim::FailCall(winsim::Api::OpenServiceW, ERROR_ACCESS_DENIED);
         return OpenServiceW(manager, u"vantorflt", SERVICE_ALL_ACCESS);
       },
       ERROR_ACCESS_DENIED},
      {"bad manager", [&] { return OpenServiceW(running, u"vantorflt", SERVICE_ALL_ACCESS); },
       ERROR_INVALID_HANDLE},
      {"exists", [&] { return Create(u"VANTORFLT", SERVICE_ALL_ACCESS, u"v.sys"); },
       ERROR_SERVICE_EXISTS},
      {"bad name", [&] { return Create(u"a\\b", SERVICE_ALL_ACCESS, u"v.sys"); },
       ERROR_INVALID_NAME},
      {"no create right", [&] { return Create(u"new", 0, u"v.sys", connectOnly); },
       ERROR_ACCESS_DENIED},
      {"running", [&] { return StartServiceW(running, 0, nullptr); },
       ERROR_SERVICE_ALREADY_RUNNING},
      {"no image", [&] { return StartServiceW(stopped, 0, nullptr); }, ERROR_FILE_NOT_FOUND},
      {"driver fails", [&] { return StartServiceW(broken, 0, nullptr); }, ERROR_GEN_FAILURE},
      {"no start right", [&] { return StartServiceW(readOnly, 0, nullptr); }, ERROR_ACCESS_DENIED},
      {"no delete right", [&] { return DeleteService(readOnly); }, ERROR_ACCESS_DENIED},
      {"not a service", [&] { return StartServiceW(manager, 0, nullptr); }, ERROR_INVALID_HANDLE},
      {"kernel close", [&] { return CloseHandle(running); }, ERROR_INVALID_HANDLE},
      {"close twice", [&] { return CloseServiceHandle(readOnly) && CloseServiceHandle(readOnly); },
       ERROR_INVALID_HANDLE},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_FALSE(c.call()) << c.what;
    EXPECT_EQ(c.expected, GetLastError()) << c.what;
  }
  EXPECT_FALSE(winsim::FindService(u"nodriver")->running ||
               winsim::FindService(u"broken")->running);
  EXPECT_EQ(0, loads);
  for (SC_HANDLE h : {running, stopped, broken, connectOnly}) EXPECT_TRUE(CloseServiceHandle(h));
}

TEST_F(Services, DeleteTakesEffectWhenTheLastHandleCloses) {
  SC_HANDLE first = Create(u"gone", SERVICE_ALL_ACCESS, u"gone.sys");
  SC_HANDLE second = OpenServiceW(manager, u"gone", DELETE);
  EXPECT_TRUE(DeleteService(second));
  EXPECT_FALSE(DeleteService(first));
  EXPECT_EQ(ERROR_SERVICE_MARKED_FOR_DELETE, GetLastError());
  EXPECT_EQ(nullptr, Create(u"gone", SERVICE_ALL_ACCESS, u"gone.sys"));
  EXPECT_EQ(ERROR_SERVICE_MARKED_FOR_DELETE, GetLastError());
  EXPECT_TRUE(CloseServiceHandle(first));
  EXPECT_TRUE(CloseServiceHandle(second));
  SC_HANDLE again = Create(u"gone", SERVICE_ALL_ACCESS, u"gone.sys");
  EXPECT_NE(nullptr, again);
  EXPECT_TRUE(CloseServiceHandle(again));
}

TEST_F(Services, QueryConfigFollowsTheTwoCallConvention) {
  DWORD tag = 0;
  SC_HANDLE service =
      CreateServiceW(manager, u"svc", u"Display", SERVICE_QUERY_CONFIG, 1, 3, 1, u"C:\\d\\svc.sys",
                     u"Group", &tag, u"dep1\0dep2\0", nullptr, nullptr);
  ASSERT_NE(nullptr, service);
  DWORD needed = 0;
  EXPECT_FALSE(QueryServiceConfigW(service, nullptr, 0, &needed));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  // The strings with their NULs: path 13, group 6, dependencies 11, account 1, display 8.
  EXPECT_EQ(sizeof(QUERY_SERVICE_CONFIGW) + 39 * sizeof(WCHAR), needed);
  std::vector<QUERY_SERVICE_CONFIGW> storage(needed / sizeof(QUERY_SERVICE_CONFIGW) + 1);
  auto* config = storage.data();
  EXPECT_FALSE(QueryServiceConfigW(service, config, needed - 1, &needed));
  EXPECT_TRUE(QueryServiceConfigW(service, config, needed, &needed));
  EXPECT_EQ(1u, config->dwServiceType);
  EXPECT_EQ(3u, config->dwStartType);
  EXPECT_EQ(1u, config->dwErrorControl);
  EXPECT_EQ(tag, config->dwTagId);
  EXPECT_EQ(std::u16string(u"C:\\d\\svc.sys"), config->lpBinaryPathName);
  EXPECT_EQ(std::u16string(u"Group"), config->lpLoadOrderGroup);
  EXPECT_EQ(std::u16string(u"dep1\0dep2\0", 11), std::u16string(config->lpDependencies, 11));
  EXPECT_EQ(std::u16string(u""), config->lpServiceStartName);
  EXPECT_EQ(std::u16string(u"Display"), config->lpDisplayName);
  const auto* end = reinterpret_cast<const BYTE*>(config) + needed;
  EXPECT_EQ(end, reinterpret_cast<const BYTE*>(config->lpDisplayName + 8));
  EXPECT_TRUE(CloseServiceHandle(service));
}

}  // namespace
