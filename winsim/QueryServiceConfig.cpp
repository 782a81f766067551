// QueryServiceConfigW: the fixed structure at the start of the caller's buffer, its strings
// right after it in the same buffer; a buffer too small gets the size needed.
#include <cstring>

#include "winsim/Calls.h"
#include "winsim/ServiceDatabase.h"

using namespace winsim;

namespace {

// The strings of the answer, each with its NUL (dependencies: a multi-string).
struct Strings {
  std::u16string binaryPath, loadOrderGroup, dependencies, serviceStartName, displayName;

  explicit Strings(const ServiceConfig& config)
      : binaryPath(config.binaryPath + u'\0'),
        loadOrderGroup(config.loadOrderGroup.value_or(u"") + u'\0'),
        serviceStartName(config.serviceStartName.value_or(u"") + u'\0'),
        displayName(config.displayName + u'\0') {
    for (const std::u16string& name : config.dependencies.value_or(std::vector<std::u16string>{})) {
      (dependencies += name) += u'\0';
    }
    dependencies += u'\0';
  }

  std::size_t Characters() const {
    return binaryPath.size() + loadOrderGroup.size() + dependencies.size() +
           serviceStartName.size() + displayName.size();
  }
};

// Copies `text` to `cursor`, advances it and returns where the text went.
LPWSTR Place(const std::u16string& text, WCHAR*& cursor) {
  WCHAR* const start = cursor;
  std::memcpy(start, text.data(), text.size() * sizeof(WCHAR));
  cursor += text.size();
  return start;
}

}  // namespace

BOOL WINAPI QueryServiceConfigW(SC_HANDLE service, LPQUERY_SERVICE_CONFIGW config, DWORD bufferSize,
                                LPDWORD bytesNeeded) {
  if (auto error = detail::EnterCall(Api::QueryServiceConfigW, [&] {
        return detail::CallLine("QueryServiceConfigW")
            .Handle(service)
            .Pointer(config)
            .Dec(bufferSize)
            .Pointer(bytesNeeded)
            .Done();
      })) {
    SetLastError(*error);
    return FALSE;
  }
  const auto record = detail::ServiceForCall(service, SERVICE_QUERY_CONFIG);
  if (record == nullptr) return FALSE;
  if (bytesNeeded == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ServiceConfig copy;
  {
    std::lock_guard lock(detail::ServiceMutex());
    copy = record->config;
  }
  const Strings strings(copy);
  const std::size_t needed = sizeof(QUERY_SERVICE_CONFIGW) + strings.Characters() * sizeof(WCHAR);
  *bytesNeeded = static_cast<DWORD>(needed);
  if (config == nullptr || bufferSize < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  config->dwServiceType = copy.type;
  config->dwStartType = copy.startType;
  config->dwErrorControl = copy.errorControl;
  config->dwTagId = copy.tagId;
  auto* cursor = reinterpret_cast<WCHAR*>(config + 1);
  config->lpBinaryPathName = Place(strings.binaryPath, cursor);
  config->lpLoadOrderGroup = Place(strings.loadOrderGroup, cursor);
  config->lpDependencies = Place(strings.dependencies, cursor);
  config->lpServiceStartName = Place(strings.serviceStartName, cursor);
  config->lpDisplayName = Place(strings.displayName, cursor);
  return TRUE;
}
