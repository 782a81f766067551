#include "WindowsLaunchSource.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "TextFile.h"
#include "platform/Handles.h"
#include "platform/ProcAddress.h"
#include "platform/WideText.h"

namespace {

std::string Utf8(std::wstring_view text) {
  return textfile::ToUtf8({FromWin(text.data()), text.size()});
}

std::wstring HostPath() {
  wchar_t path[MAX_PATH] = {};
  return {path, GetModuleFileNameW(nullptr, path, MAX_PATH)};
}

// "Wine 8.0" under Wine, which says so through ntdll; "Windows" otherwise.
std::string SystemName() {
  using Version = const char* (*)();
  const auto version =
      ProcAs<Version>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"));
  return version != nullptr ? std::string("Wine ") + version() : "Windows";
}

// Each drive letter with the kernel device it names, as QueryDosDeviceW reports it.
std::string Drives() {
  wchar_t roots[512] = {};
  const DWORD length = GetLogicalDriveStringsW(std::size(roots), roots);
  std::string named;
  for (const wchar_t* root = roots; root < roots + length && *root != L'\0';
       root += wcslen(root) + 1) {
    const wchar_t drive[] = {root[0], L':', L'\0'};
    wchar_t device[MAX_PATH] = {};
    if (QueryDosDeviceW(drive, device, MAX_PATH) == 0) continue;
    named += (named.empty() ? "" : ", ") + Utf8(drive) + " " + Utf8(device);
  }
  return "drives:  " + named;
}

// Whether the "vantorflt" service exists, and if so what the module's Start will find.
std::string Service() {
  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  const UniqueServiceHandle service(
      OpenServiceW(manager.get(), L"vantorflt", SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
  if (!service) {
    return "service: no \"vantorflt\" service yet: CVantor::Start creates it for the "
           "vantorflt.sys beside the host";
  }
  DWORD needed = 0;
  QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  SERVICE_STATUS status{};
  if (!QueryServiceConfigW(service.get(), config, needed, &needed) ||
      !QueryServiceStatus(service.get(), &status)) {
    return "service: \"vantorflt\" exists but cannot be queried; CVantor::Start uses it as it is";
  }
  return std::string("service: \"vantorflt\" exists (driver ") + Utf8(config->lpBinaryPathName) +
         (status.dwCurrentState == SERVICE_RUNNING ? ", running" : ", not running") +
         "): CVantor::Start uses it as it is configured";
}

}  // namespace

std::vector<std::string> WindowsLaunchSource::Describe() const {
  const std::wstring host = HostPath();
  const std::wstring driver = host.substr(0, host.rfind(L'\\') + 1) + L"vantorflt.sys";
  const bool driverThere = GetFileAttributesW(driver.c_str()) != INVALID_FILE_ATTRIBUTES;
  return {
      "machine: " + SystemName() + ", this process's own Win32; the host is " + Utf8(host) +
          (driverThere
               ? " with the guard driver vantorflt.sys beside it"
               : ", with no vantorflt.sys beside it: CVantor::Start cannot load the driver"),
      Service(),
      Drives(),
      "         the system's own drives: the host adds none and mounts none after the module "
      "has loaded (the Linux demo's machine adds a network Z: and a late E:)",
      "launch:  a call to vantorflt.sys's launch code, timed by the host from sending it to its "
      "outcome",
  };
}

bool WindowsLaunchSource::ModuleStarted(std::string* error) {
  client_ = std::make_unique<LaunchClient>();
  if (!client_->IsOpen()) {
    *error =
        "cannot open the guard device \\\\.\\VANTORFLT: error " + std::to_string(GetLastError());
    return false;
  }
  const std::optional<GuardCounters> counters = client_->Counters();
  if (!counters || counters->recordAddress == 0) {
    *error = "vantorflt.sys shares no record with this process";
    return false;
  }
  atStart_ = *counters;
  record_ =
      reinterpret_cast<const SharedSlot*>(static_cast<std::uintptr_t>(counters->recordAddress));
  return true;
}

LaunchResult WindowsLaunchSource::Launch(std::u16string_view kernelPath) {
  const auto begin = std::chrono::steady_clock::now();
  const std::optional<LaunchOutcome> outcome = client_->Launch(kernelPath);
  const DWORD error = GetLastError();
  const auto latency = std::chrono::steady_clock::now() - begin;
  switch (outcome.value_or(LaunchOutcome::None)) {
    case LaunchOutcome::Allowed:
      return {Outcome::Allowed, latency};
    case LaunchOutcome::Denied:
      return {Outcome::Denied, latency};
    case LaunchOutcome::LetThrough:
      return {Outcome::LetThrough, latency};
    case LaunchOutcome::TimedOut:
      return {Outcome::TimedOut, latency};
    case LaunchOutcome::Refused:
      return {Outcome::Refused, latency};
    case LaunchOutcome::None:
      break;
  }
  if (unanswered_.fetch_add(1) == 0) {
    const std::string why = outcome ? "it answered " + std::to_string(static_cast<int>(*outcome))
                                    : "the call failed with error " + std::to_string(error);
    std::fprintf(stderr, "vantor-host: vantorflt.sys gave a launch no outcome (%s)\n", why.c_str());
  }
  return {Outcome::Refused, latency, "vantorflt.sys gave it no outcome: fail closed, never judged"};
}

std::u16string WindowsLaunchSource::ParkedPath() const {
  const char16_t* path = record_->ImagePath;
  return std::u16string(path, std::find(path, path + kLongestLaunchPath, u'\0'));
}

std::string WindowsLaunchSource::DriverCounts() const {
  const std::optional<GuardCounters> now = client_->Counters();
  if (!now) return "its counters cannot be read: error " + std::to_string(GetLastError());
  return std::to_string(now->parked - atStart_.parked) + " parked in the record, " +
         std::to_string(now->lateVerdicts - atStart_.lateVerdicts) +
         " late verdicts (vantorflt.sys takes a verdict other than 1 as a denial)";
}
