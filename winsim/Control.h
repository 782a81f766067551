#pragma once
// winsim's control API: how tests, stand-ins and the demo host set up and inspect the
// simulated machine. The module itself never includes this header.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "winsim/winsim.h"

namespace winsim {

// Back to a fresh machine: no services, devices, drives, driver images or injected failures;
// default host path, process id, module stubs, clock and sleep scale. Threads still running are
// not touched. Handles stay valid (tests check counts as differences).
void Reset();

// ---- Failure injection and call accounting -------------------------------------------------

enum class Api {
  CloseHandle,
  CreateFileW,
  DeviceIoControl,
  OpenSCManagerW,
  OpenServiceW,
  CreateServiceW,
  StartServiceW,
  CloseServiceHandle,
  QueryServiceConfigW,
  DeleteService,
  GetModuleFileNameW,
  GetModuleHandleW,
  LoadLibraryW,
  GetProcAddress,
  CreateThread,
  WaitForSingleObject,
  GetLogicalDriveStringsW,
  QueryDosDeviceW,
  GetModuleHandleExW,
  Sleep,  // counted and journaled; it cannot fail
  Count
};

// The next `count` calls of `api`, after `skip` calls that behave normally, fail the way the
// real function fails (its failure result) with `error` as the thread's last error. An injected
// failure has no effect on the machine (a CloseHandle made to fail leaves the handle open).
// A new FailCall for the same `api` replaces the plan made before.
void FailCall(Api api, DWORD error, int count = 1, int skip = 0);
void ClearFailures();
// Calls of `api` made since the last Reset, failed ones included.
int CallCount(Api api);

// A journal of the calls made to the functions listed in Api, one line each, for
// exact-argument checks, e.g. (as text)
//   CreateFileW(\\.\VANTORFLT, 0xc0000000, 0, null, 3, 0x4, null)
// Format: the function's name, then its arguments in order, separated by ", ", in parentheses.
//  - wide or narrow text: the characters as written (UTF-8), without quotes (a multi-string
//    shows its first string); a null pointer is null;
//  - access masks, flag sets and control codes (what Windows documents in hex): printf "%#x",
//    so 0xc0000000, 0x4, and 0 for zero;
//  - counts, sizes, dispositions, service types, start types, error controls: decimal;
//  - handles (HANDLE, SC_HANDLE, HMODULE): "%#x" of the value, null, or INVALID_HANDLE_VALUE;
//  - other pointers (buffers, out parameters, security attributes, routines): null or ptr;
//  - a wait time of INFINITE: INFINITE.
// The line is recorded when the call is made, before an injected failure or the result.
// StartJournal empties the journal and starts recording; TakeJournal hands over the lines
// recorded so far and recording goes on; Reset stops recording.
void StartJournal();
std::vector<std::string> TakeJournal();

// ---- Handles -----------------------------------------------------------------------------

enum class HandleKind { Device, ServiceManager, Service, Thread };
int OpenHandleCount(HandleKind kind);

// ---- Process and modules -----------------------------------------------------------------

// Three modules are loaded: the host executable, ntdll.dll and kernel32.dll. GetModuleHandleW
// and LoadLibraryW find them by file name (any case; ".dll" is implied without an extension)
// or full path (C:\Windows\System32\...); GetModuleHandleW(null) is the host. Any other
// name: null with ERROR_MOD_NOT_FOUND. GetProcAddress knows ntdll's NtCreateSection and
// kernel32's Wow64DisableWow64FsRedirection; anything else: null with ERROR_PROC_NOT_FOUND.
// GetModuleFileNameW(null, ...) reports this path (default L"C:\\Program Files\\Host\\host.exe").
// A path that does not fit is cut to `size` characters including the terminating null; the
// result is then `size` with ERROR_INSUFFICIENT_BUFFER.
void SetHostPath(std::u16string path);
void SetProcessId(DWORD id);  // default 4242

// GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateSection") returns the address of
// these code bytes (default: B8 37 00 00 00, "mov eax, 0x37", then C3). nullopt: no such export.
void SetNtCreateSectionCode(std::optional<std::vector<BYTE>> code);
// Whether kernel32 exports Wow64DisableWow64FsRedirection (default: yes).
void SetWow64RedirectionPresent(bool present);
// Calls of Wow64DisableWow64FsRedirection since the last Reset. The function stores a non-null
// token in *oldValue and returns TRUE (FALSE with ERROR_INVALID_PARAMETER for a null pointer).
int Wow64RedirectionCalls();

// ---- Clock and sleep ---------------------------------------------------------------------

// _time64/_localtime64 then report this local time (hour 0-23, minute 0-59).
void SetLocalTime(int hour, int minute);
// _localtime64 returns null, as when the local time cannot be obtained.
void SetLocalTimeUnavailable();
void UseRealClock();
// Sleep(ms) lasts ms * scale milliseconds (default 1.0). A stress test sets e.g. 0.01.
void SetSleepScale(double scale);

// ---- Services and drivers ----------------------------------------------------------------

// A service's entry. Names are compared without regard to case. The members after `running`
// hold the rest of what CreateServiceW records; nullopt stands for a null argument.
struct ServiceConfig {
  std::u16string name{};
  std::u16string displayName{};
  DWORD type = SERVICE_KERNEL_DRIVER;
  DWORD startType = SERVICE_DEMAND_START;
  DWORD errorControl = SERVICE_ERROR_NORMAL;
  std::u16string binaryPath{};
  bool running = false;
  std::optional<std::u16string> loadOrderGroup{};
  DWORD tagId = 0;  // assigned when CreateServiceW is asked for a tag
  std::optional<std::vector<std::u16string>> dependencies{};
  std::optional<std::u16string> serviceStartName{};
  std::optional<std::u16string> password{};
};
// The service database persists for the process (Reset clears it). AddService replaces an
// entry of the same name. FindService does not see a service marked for deletion.
// Handles check access as Windows does: StartServiceW needs SERVICE_START, QueryServiceConfigW
// SERVICE_QUERY_CONFIG, DeleteService DELETE, CreateServiceW a manager opened with
// SC_MANAGER_CREATE_SERVICE (generic rights are mapped); otherwise ERROR_ACCESS_DENIED.
// A deleted service disappears when its last handle is closed.
void AddService(const ServiceConfig& config);
std::optional<ServiceConfig> FindService(const std::u16string& name);

// A device served by a driver: DeviceIoControl on a handle of it comes here. Each call names
// the handle it came through, as a driver sees the file object of each open.
class Device {
 public:
  virtual ~Device() = default;
  // Serve one control code. On failure return FALSE and set the last error (SetLastError).
  virtual BOOL Control(HANDLE handle, DWORD code, const void* in, DWORD inSize, void* out,
                       DWORD outSize, DWORD* bytesReturned) = 0;
  virtual void Opened(HANDLE) {}
  virtual void Closed(HANDLE) {}
};

// A driver image. When StartServiceW starts a service whose binary path ends in `fileName`
// (compared case-insensitively), the image is "loaded": `load` returns the device it creates,
// which appears as \\.\`deviceName`. No image, no device: StartServiceW then fails with
// ERROR_FILE_NOT_FOUND. An image loads once; starting another service on a loaded image fails
// with ERROR_SERVICE_ALREADY_RUNNING. A `load` that returns null is a driver that fails to
// initialise: StartServiceW fails with ERROR_GEN_FAILURE and the service stays stopped.
using DriverLoader = std::function<std::shared_ptr<Device>()>;
void RegisterDriverImage(const std::u16string& fileName, const std::u16string& deviceName,
                         DriverLoader load);
// Devices can also be added or removed directly. CreateFileW(L"\\\\.\\NAME", ...) opens one
// (NAME compared without regard to case; creation disposition OPEN_EXISTING); DeviceIoControl
// checks the access bits of the control code against the access the handle was opened with.
// Removing a device leaves its open handles working.
void AddDevice(const std::u16string& deviceName, std::shared_ptr<Device> device);
void RemoveDevice(const std::u16string& deviceName);

// ---- Drives ------------------------------------------------------------------------------

// A logical drive L: whose DOS device query answers with these targets (a multi-string).
// Drives are listed in letter order; adding a listed letter replaces its targets. A drive with
// no targets is listed, but its DOS device query fails with ERROR_FILE_NOT_FOUND. The drive
// functions may be called while another thread changes the drives.
void AddDrive(char16_t letter, std::vector<std::u16string> targets);
void RemoveDrive(char16_t letter);
void ClearDrives();
// Called at the start of every GetLogicalDriveStringsW call with its buffer length argument,
// so a test can change the drives between the size query and the read.
void OnDriveListCall(std::function<void(DWORD bufferLength)> hook);

// ---- Threads -----------------------------------------------------------------------------

// CreateThread runs the routine on a real thread at once (creation flags other than
// STACK_SIZE_PARAM_IS_A_RESERVATION fail with ERROR_NOT_SUPPORTED; the stack size is not
// applied). Its handle is signalled after the routine has returned; WaitForSingleObject waits
// on thread handles only (any other handle: WAIT_FAILED with ERROR_INVALID_HANDLE). Closing
// the handle does not stop the thread.
// Threads created by CreateThread that have not yet returned from their routine.
int RunningThreads();

}  // namespace winsim
