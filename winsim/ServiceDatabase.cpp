#include "winsim/ServiceDatabase.h"

#include <map>

#include "winsim/HandleTable.h"
#include "winsim/ResetParts.h"
#include "winsim/WideString.h"

namespace winsim::detail {
namespace {

// Keyed by the upper-case name: service names do not depend on case.
std::map<std::u16string, std::shared_ptr<ServiceRecord>> g_services;

constexpr DWORD kStandardRead = 0x00020000u;
constexpr DWORD kGenericRights = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL;

DWORD MapGeneric(DWORD desired, DWORD all, DWORD read, DWORD write, DWORD execute) {
  DWORD granted = desired & ~kGenericRights;
  if ((desired & GENERIC_ALL) != 0) granted |= all;
  if ((desired & GENERIC_READ) != 0) granted |= read;
  if ((desired & GENERIC_WRITE) != 0) granted |= write;
  if ((desired & GENERIC_EXECUTE) != 0) granted |= execute;
  return granted;
}

}  // namespace

std::mutex& ServiceMutex() {
  static std::mutex mutex;
  return mutex;
}

std::shared_ptr<ServiceRecord> FindRecord(std::u16string_view name) {
  const auto found = g_services.find(UpperCase(name));
  return found == g_services.end() ? nullptr : found->second;
}

void InsertRecord(std::shared_ptr<ServiceRecord> record) {
  g_services[UpperCase(record->config.name)] = std::move(record);
}

void ReleaseRecord(const std::shared_ptr<ServiceRecord>& record) {
  --record->openHandles;
  if (!record->markedForDelete || record->openHandles > 0) return;
  const auto found = g_services.find(UpperCase(record->config.name));
  if (found != g_services.end() && found->second == record) g_services.erase(found);
}

DWORD ManagerAccess(DWORD desired) {
  // Connecting is granted to everyone.
  return SC_MANAGER_CONNECT | MapGeneric(desired, SC_MANAGER_ALL_ACCESS, kStandardRead | 0x14u,
                                         kStandardRead | SC_MANAGER_CREATE_SERVICE | 0x20u,
                                         kStandardRead | 0x08u);
}

DWORD ServiceAccess(DWORD desired) {
  return MapGeneric(desired, SERVICE_ALL_ACCESS, kStandardRead | SERVICE_QUERY_CONFIG | 0x8Cu,
                    kStandardRead | SERVICE_CHANGE_CONFIG,
                    kStandardRead | SERVICE_START | SERVICE_STOP | 0x140u);
}

std::shared_ptr<ServiceRecord> ServiceForCall(SC_HANDLE service, DWORD required) {
  const auto entry = FindHandle(service, {HandleKind::Service});
  if (!entry) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if ((entry->access & required) != required) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return ObjectOf<ServiceRecord>(*entry);
}

void ResetServices() {
  std::lock_guard lock(ServiceMutex());
  g_services.clear();
}

}  // namespace winsim::detail

namespace winsim {

void AddService(const ServiceConfig& config) {
  auto record = std::make_shared<detail::ServiceRecord>();
  record->config = config;
  std::lock_guard lock(detail::ServiceMutex());
  detail::InsertRecord(std::move(record));
}

std::optional<ServiceConfig> FindService(const std::u16string& name) {
  std::lock_guard lock(detail::ServiceMutex());
  const auto record = detail::FindRecord(name);
  if (record == nullptr || record->markedForDelete) return std::nullopt;
  return record->config;
}

}  // namespace winsim
