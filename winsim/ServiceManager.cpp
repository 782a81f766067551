// The service control manager: manager and service handles, creating and deleting services.
#include "winsim/Calls.h"
#include "winsim/HandleTable.h"
#include "winsim/ServiceDatabase.h"
#include "winsim/WideString.h"

using namespace winsim;
using detail::CallLine;

namespace {

SC_HANDLE AsService(HANDLE handle) {
  return reinterpret_cast<SC_HANDLE>(handle);
}

SC_HANDLE Fail(DWORD error) {
  SetLastError(error);
  return nullptr;
}

// A multi-string (strings each ending in NUL, then one more NUL) as a list.
std::vector<std::u16string> MultiString(const WCHAR* text) {
  std::vector<std::u16string> strings;
  while (*text != 0) {
    strings.emplace_back(text);
    text += strings.back().size() + 1;
  }
  return strings;
}

template <typename T, typename Raw, typename Convert>
std::optional<T> Optional(const Raw* raw, Convert convert) {
  if (raw == nullptr) return std::nullopt;
  return convert(raw);
}

// What CreateServiceW checks of its arguments before it looks at the database.
DWORD CheckNewService(LPCWSTR name, DWORD serviceType, DWORD startType, DWORD errorControl,
                      LPCWSTR binaryPathName, LPCWSTR loadOrderGroup, LPDWORD tagId) {
  const std::u16string_view text = detail::View(name);
  if (text.empty() || text.size() > 256 || text.find_first_of(u"/\\") != text.npos) {
    return ERROR_INVALID_NAME;
  }
  const DWORD kind = serviceType & ~0x100u;  // SERVICE_INTERACTIVE_PROCESS may be added
  const bool knownType = kind == 0x1 || kind == 0x2 || kind == 0x10 || kind == 0x20;
  const bool tagWithoutGroup = tagId != nullptr && detail::View(loadOrderGroup).empty();
  if (!knownType || startType > SERVICE_DISABLED || errorControl > 3 ||
      detail::View(binaryPathName).empty() || tagWithoutGroup) {
    return ERROR_INVALID_PARAMETER;
  }
  return ERROR_SUCCESS;
}

}  // namespace

SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess) {
  if (auto error = detail::EnterCall(Api::OpenSCManagerW, [&] {
        return CallLine("OpenSCManagerW")
            .Text(machineName)
            .Text(databaseName)
            .Hex(desiredAccess)
            .Done();
      })) {
    return Fail(*error);
  }
  if (!detail::View(machineName).empty()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  if (databaseName != nullptr && !detail::EqualsIgnoreCase(databaseName, u"ServicesActive")) {
    return Fail(ERROR_DATABASE_DOES_NOT_EXIST);
  }
  return AsService(
      detail::AddHandle(HandleKind::ServiceManager, nullptr, detail::ManagerAccess(desiredAccess)));
}

SC_HANDLE WINAPI OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess) {
  if (auto error = detail::EnterCall(Api::OpenServiceW, [&] {
        return CallLine("OpenServiceW").Handle(manager).Text(serviceName).Hex(desiredAccess).Done();
      })) {
    return Fail(*error);
  }
  if (!detail::FindHandle(manager, {HandleKind::ServiceManager})) {
    return Fail(ERROR_INVALID_HANDLE);
  }
  if (detail::View(serviceName).empty()) return Fail(ERROR_INVALID_NAME);
  std::shared_ptr<detail::ServiceRecord> record;
  {
    std::lock_guard lock(detail::ServiceMutex());
    record = detail::FindRecord(detail::View(serviceName));
    if (record == nullptr) return Fail(ERROR_SERVICE_DOES_NOT_EXIST);
    ++record->openHandles;
  }
  return AsService(
      detail::AddHandle(HandleKind::Service, record, detail::ServiceAccess(desiredAccess)));
}

SC_HANDLE WINAPI CreateServiceW(SC_HANDLE manager, LPCWSTR serviceName, LPCWSTR displayName,
                                DWORD desiredAccess, DWORD serviceType, DWORD startType,
                                DWORD errorControl, LPCWSTR binaryPathName, LPCWSTR loadOrderGroup,
                                LPDWORD tagId, LPCWSTR dependencies, LPCWSTR serviceStartName,
                                LPCWSTR password) {
  if (auto error = detail::EnterCall(Api::CreateServiceW, [&] {
        return CallLine("CreateServiceW")
            .Handle(manager)
            .Text(serviceName)
            .Text(displayName)
            .Hex(desiredAccess)
            .Dec(serviceType)
            .Dec(startType)
            .Dec(errorControl)
            .Text(binaryPathName)
            .Text(loadOrderGroup)
            .Pointer(tagId)
            .Text(dependencies)
            .Text(serviceStartName)
            .Text(password)
            .Done();
      })) {
    return Fail(*error);
  }
  const auto managerEntry = detail::FindHandle(manager, {HandleKind::ServiceManager});
  if (!managerEntry) return Fail(ERROR_INVALID_HANDLE);
  if ((managerEntry->access & SC_MANAGER_CREATE_SERVICE) == 0) return Fail(ERROR_ACCESS_DENIED);
  const DWORD invalid = CheckNewService(serviceName, serviceType, startType, errorControl,
                                        binaryPathName, loadOrderGroup, tagId);
  if (invalid != ERROR_SUCCESS) return Fail(invalid);

  auto record = std::make_shared<detail::ServiceRecord>();
  ServiceConfig& config = record->config;
  config.name = serviceName;
  config.displayName = displayName != nullptr ? displayName : serviceName;
  config.type = serviceType;
  config.startType = startType;
  config.errorControl = errorControl;
  config.binaryPath = binaryPathName;
  const auto text = [](const WCHAR* raw) { return std::u16string(raw); };
  config.loadOrderGroup = Optional<std::u16string>(loadOrderGroup, text);
  config.dependencies = Optional<std::vector<std::u16string>>(dependencies, MultiString);
  config.serviceStartName = Optional<std::u16string>(serviceStartName, text);
  config.password = Optional<std::u16string>(password, text);
  if (tagId != nullptr) {
    config.tagId = 1;
    *tagId = config.tagId;
  }
  record->openHandles = 1;
  {
    std::lock_guard lock(detail::ServiceMutex());
    if (const auto existing = detail::FindRecord(config.name)) {
      return Fail(existing->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE
                                            : ERROR_SERVICE_EXISTS);
    }
    detail::InsertRecord(record);
  }
  return AsService(
      detail::AddHandle(HandleKind::Service, record, detail::ServiceAccess(desiredAccess)));
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE handle) {
  if (auto error = detail::EnterCall(Api::CloseServiceHandle, [&] {
        return CallLine("CloseServiceHandle").Handle(handle).Done();
      })) {
    SetLastError(*error);
    return FALSE;
  }
  const auto entry = detail::TakeHandle(handle, {HandleKind::ServiceManager, HandleKind::Service});
  if (!entry) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (entry->kind == HandleKind::Service) {
    std::lock_guard lock(detail::ServiceMutex());
    detail::ReleaseRecord(detail::ObjectOf<detail::ServiceRecord>(*entry));
  }
  return TRUE;
}

BOOL WINAPI DeleteService(SC_HANDLE service) {
  if (auto error = detail::EnterCall(
          Api::DeleteService, [&] { return CallLine("DeleteService").Handle(service).Done(); })) {
    SetLastError(*error);
    return FALSE;
  }
  const auto record = detail::ServiceForCall(service, DELETE);
  if (record == nullptr) return FALSE;
  std::lock_guard lock(detail::ServiceMutex());
  if (record->markedForDelete) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return FALSE;
  }
  record->markedForDelete = true;
  return TRUE;
}
