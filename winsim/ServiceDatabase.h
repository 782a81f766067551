#pragma once
// The service control manager's database: one record per service, shared with the service
// handles that refer to it. ServiceMutex() guards every record and the database itself.
#include <memory>
#include <mutex>
#include <string_view>

#include "winsim/Control.h"

namespace winsim::detail {

struct ServiceRecord {
  ServiceConfig config;
  bool starting = false;  // a StartServiceW is loading the driver
  bool markedForDelete = false;
  int openHandles = 0;
};

std::mutex& ServiceMutex();

// The following run under ServiceMutex().
std::shared_ptr<ServiceRecord> FindRecord(std::u16string_view name);
void InsertRecord(std::shared_ptr<ServiceRecord> record);
// A service handle to `record` was closed: a deleted service goes once no handle is left.
void ReleaseRecord(const std::shared_ptr<ServiceRecord>& record);

// Generic rights mapped to the specific rights of the manager and of a service.
DWORD ManagerAccess(DWORD desired);
DWORD ServiceAccess(DWORD desired);

// The record behind a service handle that grants `required` access; null with the last error
// set (ERROR_INVALID_HANDLE, ERROR_ACCESS_DENIED) otherwise.
std::shared_ptr<ServiceRecord> ServiceForCall(SC_HANDLE service, DWORD required);

}  // namespace winsim::detail
