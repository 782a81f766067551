#pragma once
// A host for the end-to-end tests under Wine: the real vantor.dll, bound to the Arbiter.dll and
// Basalt.dll this program imports as well (policy, hooks and log capture go through them),
// vantorflt.sys loaded by Wine's service manager, and launches sent to the driver as the kernel
// would send them. Every test starts on a machine without the "vantorflt" service and leaves none
// behind, so each one loads the driver afresh and reads counters of its own.
#include <gtest/gtest.h>
#include <windows.h>

#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "Arbiter.h"
#include "LaunchClient.h"
#include "log/LogLines.h"
#include "platform/Handles.h"

// The lines the module logs while the action runs.
template <typename Action>
LineList LinesOf(Action action) {
  SinkCapture capture;
  action();
  return LogLines(capture);
}

inline void PrintTo(LaunchOutcome outcome, std::ostream* out) {
  constexpr const char* kNames[] = {"None", "Allowed", "Denied", "LetThrough", "TimedOut"};
  const auto index = static_cast<std::size_t>(outcome);
  *out << (index < std::size(kNames) ? kNames[index] : "unknown outcome");
}

// Stops the service "vantorflt" if it exists, waits until the driver has unloaded, deletes it.
inline void RemoveGuardService() {
  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  ASSERT_TRUE(manager);
  const UniqueServiceHandle service(
      OpenServiceW(manager.get(), L"vantorflt", SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (!service) return;
  SERVICE_STATUS status{};
  ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  for (int i = 0; i < 500 && QueryServiceStatus(service.get(), &status) &&
                  status.dwCurrentState != SERVICE_STOPPED;
       ++i) {
    Sleep(20);
  }
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED)) << "driver not unloaded";
  EXPECT_TRUE(DeleteService(service.get())) << GetLastError();
}

// The drive's kernel device, as Wine names it (e.g. \Device\HarddiskVolume1 for C:).
inline std::u16string DeviceOfDrive(const wchar_t* drive) {
  wchar_t target[MAX_PATH] = {};
  if (QueryDosDeviceW(drive, target, MAX_PATH) == 0) return u"";
  return reinterpret_cast<const char16_t*>(target);
}

// Polls until the condition holds or ten seconds have passed; false when they have.
template <typename Condition>
bool WaitUntil(Condition condition) {
  for (int i = 0; i < 1000; ++i) {
    if (condition()) return true;
    Sleep(10);
  }
  return condition();
}

// Calls itself until the stack runs out, given unboundedDepth (volatile: no bound to see).
inline volatile int unboundedDepth = 1 << 30;
[[gnu::noinline]] inline int Descend(int depth) {
  volatile char frame[1024];
  frame[0] = static_cast<char>(depth);
  return depth == 0 ? 0 : Descend(depth - 1) + frame[0];
}

inline std::wstring HostDirectory() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring text(path);
  return text.substr(0, text.rfind(L'\\') + 1);
}

// A scanner that keeps every path naming "held" waiting until released, and follows the policy
// otherwise. Declare it after anything that waits on a held launch, so that it releases first.
class HoldingScanner {
 public:
  HoldingScanner() : released_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    ArbiterSetHook(&Decide, this);
  }
  ~HoldingScanner() {
    Release();
    ArbiterSetHook(nullptr, nullptr);
  }
  void Release() { SetEvent(released_.get()); }

 private:
  static bool Decide(const wchar_t* path, void* self) {
    const HANDLE released = static_cast<HoldingScanner*>(self)->released_.get();
    if (std::wstring_view(path).find(L"held") != std::wstring_view::npos) {
      WaitForSingleObject(released, INFINITE);
    }
    return ArbiterEvaluate(path) == 1;
  }
  UniqueHandle released_;
};

class GuardHost : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveGuardService();
    ArbiterSetPolicy(nullptr);
    ArbiterSetHook(nullptr, nullptr);
    ArbiterClearQueries();
    LoadModule();
  }
  void TearDown() override {
    client_.reset();  // the driver unloads only once every handle is closed
    // As a host does before it unloads: a pump still running holds the module loaded.
    if (module_ != nullptr) Stop();
    UnloadModule();
    EXPECT_EQ(GetModuleHandleW(L"vantor.dll"), nullptr) << "vantor.dll still loaded";
    ArbiterSetHook(nullptr, nullptr);
    RemoveGuardService();
  }

  void LoadModule() {
    module_ = LoadLibraryW(L"vantor.dll");
    ASSERT_NE(module_, nullptr) << "error " << GetLastError();
    start_ = Export("?Start@CVantor@@SA_NXZ");
    stop_ = Export("?Stop@CVantor@@SA_NXZ");
  }
  void UnloadModule() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }
  bool Start() { return start_(); }
  bool Stop() { return stop_(); }

  // A client on the device, opened on first use (the driver is there once a Start has run).
  const LaunchClient& Driver() {
    if (!client_) client_ = std::make_unique<LaunchClient>();
    EXPECT_TRUE(client_->IsOpen()) << "no guard device, error " << GetLastError();
    return *client_;
  }
  LaunchOutcome Launch(std::u16string_view path) {
    return Driver().Launch(path).value_or(LaunchOutcome::None);
  }
  GuardCounters Counters() { return Driver().Counters().value_or(GuardCounters{}); }

 private:
  using StaticCall = bool (*)();
  StaticCall Export(const char* name) {
    const FARPROC entry = GetProcAddress(module_, name);
    EXPECT_NE(entry, nullptr) << name;
    return reinterpret_cast<StaticCall>(reinterpret_cast<void (*)()>(entry));
  }

  HMODULE module_ = nullptr;
  StaticCall start_ = nullptr;
  StaticCall stop_ = nullptr;
  std::unique_ptr<LaunchClient> client_;
};
