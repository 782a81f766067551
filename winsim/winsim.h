#pragma once
// winsim: the subset of Win32 and of the Windows C runtime that the module calls, with the
// same names, argument lists, return conventions and GetLastError codes, over 16-bit text.
// It keeps real state (handles, services, devices, drives, modules, threads, a per-thread
// last error). Tests drive it through winsim/Control.h.

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <ctime>

#define WINAPI
#define CALLBACK

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = int;
using UINT = unsigned int;
using INT_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using SIZE_T = std::size_t;
using CHAR = char;
using WCHAR = char16_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using PVOID = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPDWORD = DWORD*;
using HANDLE = void*;
using errno_t = int;
// The Windows runtime's 64-bit time (glibc keeps its own __time64_t internal on 64-bit hosts).
using __time64_t = std::int64_t;

struct HINSTANCE__;
using HMODULE = HINSTANCE__*;
struct SC_HANDLE__;
using SC_HANDLE = SC_HANDLE__*;
using FARPROC = INT_PTR(WINAPI*)();
using LPTHREAD_START_ROUTINE = DWORD(WINAPI*)(LPVOID);

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
#define INFINITE 0xFFFFFFFFu
#define MAX_PATH 260

// Error codes.
#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_GEN_FAILURE 31u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_MOD_NOT_FOUND 126u
#define ERROR_PROC_NOT_FOUND 127u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_INVALID_FUNCTION 1u
#define ERROR_BUSY 170u
#define ERROR_SERVICE_ALREADY_RUNNING 1056u
#define ERROR_SERVICE_DOES_NOT_EXIST 1060u
#define ERROR_SERVICE_EXISTS 1073u
#define ERROR_SERVICE_MARKED_FOR_DELETE 1072u
#define ERROR_FILE_INVALID 1006u
#define ERROR_INVALID_NAME 123u
#define ERROR_SERVICE_DISABLED 1058u
#define ERROR_DATABASE_DOES_NOT_EXIST 1065u
#define RPC_S_SERVER_UNAVAILABLE 1722u

// File access.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define FILE_READ_DATA 0x0001u
#define FILE_WRITE_DATA 0x0002u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_SYSTEM 0x4u

// Service control manager.
#define SC_MANAGER_CONNECT 0x0001u
#define SC_MANAGER_CREATE_SERVICE 0x0002u
#define SC_MANAGER_ALL_ACCESS 0xF003Fu
#define SERVICE_ALL_ACCESS 0xF01FFu
#define SERVICE_QUERY_CONFIG 0x0001u
#define SERVICE_CHANGE_CONFIG 0x0002u
#define SERVICE_START 0x0010u
#define SERVICE_STOP 0x0020u
#define SERVICE_KERNEL_DRIVER 0x1u
#define SERVICE_DEMAND_START 0x3u
#define SERVICE_DISABLED 0x4u
#define SERVICE_ERROR_NORMAL 0x1u
#define DELETE 0x00010000u

struct QUERY_SERVICE_CONFIGW {
  DWORD dwServiceType;
  DWORD dwStartType;
  DWORD dwErrorControl;
  LPWSTR lpBinaryPathName;
  LPWSTR lpLoadOrderGroup;
  DWORD dwTagId;
  LPWSTR lpDependencies;
  LPWSTR lpServiceStartName;
  LPWSTR lpDisplayName;
};
using LPQUERY_SERVICE_CONFIGW = QUERY_SERVICE_CONFIGW*;

// Control codes.
#define FILE_DEVICE_UNKNOWN 0x22u
#define METHOD_BUFFERED 0u
#define METHOD_IN_DIRECT 1u
#define METHOD_OUT_DIRECT 2u
#define METHOD_NEITHER 3u
#define FILE_ANY_ACCESS 0u
#define FILE_READ_ACCESS 1u
#define FILE_WRITE_ACCESS 2u
#define CTL_CODE(DeviceType, Function, Method, Access) \
  (((DeviceType) << 16) | ((Access) << 14) | ((Function) << 2) | (Method))

// Waits.
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu

// Error state (per thread).
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD error);

// Handles.
BOOL WINAPI CloseHandle(HANDLE handle);

// Devices.
HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                          DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WINAPI DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inSize,
                            LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                            LPOVERLAPPED overlapped);

// Service control manager.
SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess);
SC_HANDLE WINAPI OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess);
SC_HANDLE WINAPI CreateServiceW(SC_HANDLE manager, LPCWSTR serviceName, LPCWSTR displayName,
                                DWORD desiredAccess, DWORD serviceType, DWORD startType,
                                DWORD errorControl, LPCWSTR binaryPathName, LPCWSTR loadOrderGroup,
                                LPDWORD tagId, LPCWSTR dependencies, LPCWSTR serviceStartName,
                                LPCWSTR password);
BOOL WINAPI StartServiceW(SC_HANDLE service, DWORD argumentCount, LPCWSTR* arguments);
BOOL WINAPI CloseServiceHandle(SC_HANDLE handle);
BOOL WINAPI QueryServiceConfigW(SC_HANDLE service, LPQUERY_SERVICE_CONFIGW config, DWORD bufferSize,
                                LPDWORD bytesNeeded);
BOOL WINAPI DeleteService(SC_HANDLE service);

// Process and modules.
DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName);
HMODULE WINAPI LoadLibraryW(LPCWSTR fileName);
// Only GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS lookups are simulated: an address in a shared
// object gives its dlopen handle, with one more reference (dlclose gives it back) unless
// UNCHANGED_REFCOUNT is set; an address in the program gives the host's module, which never
// unloads.
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x2u
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x4u
BOOL WINAPI GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module);
BOOL WINAPI FreeLibrary(HMODULE module);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
DWORD WINAPI GetCurrentProcessId();

// Threads and timing.
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                           LPTHREAD_START_ROUTINE startAddress, LPVOID parameter,
                           DWORD creationFlags, LPDWORD threadId);
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// Ends a thread made by CreateThread: unwinds its routine, then gives `module` back (FreeLibrary)
// and ends the thread with `exitCode`, so the routine's code may be unmapped by that release.
[[noreturn]] void WINAPI FreeLibraryAndExitThread(HMODULE module, DWORD exitCode);
void WINAPI Sleep(DWORD milliseconds);

// Drives.
DWORD WINAPI GetLogicalDriveStringsW(DWORD bufferLength, LPWSTR buffer);
DWORD WINAPI QueryDosDeviceW(LPCWSTR deviceName, LPWSTR targetPath, DWORD maxChars);

// Windows text formatting (user32): %d %i %u %x %X %c %s %% with '-', '#', '0', width and
// precision ('l' and 'h' accepted); no floating point. At most 1024 bytes with the terminator.
int wsprintfA(LPSTR buffer, LPCSTR format, ...);

// C runtime, default "C" locale: bytes 0x01-0xFF are U+0001-U+00FF.
// wcstombs_s and mbstowcs_s: with a null `dest` and `destSize` 0, *converted is the number of
// characters up to the first NUL (at most `count`) plus one, and the characters are not
// examined. Otherwise they convert up to `count` characters or the first NUL and terminate
// `dest`; *converted counts the terminator. Errors leave dest[0] = 0 and *converted = 0 and are
// the runtime's errno values: EINVAL 22 (inconsistent arguments), ERANGE 34 (the result does
// not fit `destSize`; Windows calls its invalid-parameter handler here), EILSEQ 42 (a character
// above U+00FF). _TRUNCATE is not supported.
errno_t wcstombs_s(std::size_t* converted, char* dest, std::size_t destSize, const WCHAR* src,
                   std::size_t count);
errno_t mbstowcs_s(std::size_t* converted, WCHAR* dest, std::size_t destSize, const char* src,
                   std::size_t count);
// vsprintf_s and _vscprintf read formats as the Windows runtime does ('L' before a floating
// conversion means double; I64 and I32 sizes). A vsprintf_s result that does not fit `size`
// with its terminator (or a null buffer, zero size or null format) goes to the invalid-parameter
// handler, which ends the process as on Windows. _vscprintf: the length without terminator.
int vsprintf_s(char* buffer, std::size_t size, const char* format, va_list args);
int _vscprintf(const char* format, va_list args);
// _time64 is the real clock; _localtime64 follows winsim::SetLocalTime and returns null for a
// null pointer, a time before 1970 or after winsim::SetLocalTimeUnavailable. The result is
// per thread.
__time64_t _time64(__time64_t* result);
std::tm* _localtime64(const __time64_t* time);
