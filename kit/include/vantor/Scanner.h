#pragma once
// The scanner library, Arbiter.dll, as vantor.dll calls it: one static member function,
// exported under the Visual C++ decorated name
//   x86 ?VtAllowExecution@CGuardHelper@@SA_NPB_W@Z   (SA: public static __cdecl)
//   x64 ?VtAllowExecution@CGuardHelper@@SA_NPEB_W@Z
// Define it exactly as declared below. Visual C++ and clang-cl export that name from the
// declaration (VANTOR_SCANNER_EXPORT is __declspec(dllexport) there). MinGW g++ computes another
// name, so export it through a .def file with the alias line of share/vantor/def/Arbiter-x86.def
// or Arbiter-x64.def, and no dllexport. Under any other name vantor.dll does not bind to it: on
// Windows vantor.dll then fails to load; under Wine it loads, Start returns true and every launch
// is denied, with only "unimplemented function" on Wine's standard error. bin/vantor-check.exe
// names the fix.
//
// The contract:
// - path is a zero-terminated UTF-16 path, at most 32,767 units: normally a drive-letter path
//   (C:\Windows\notepad.exe); where no drive letter names the device, the kernel path less a
//   leading \??\ (UNC\server\share\a.exe). It may be empty: the module passes on what the driver
//   parked. Do not keep the pointer after returning: the buffer is reused at once.
// - Return true when the image may run, false when it may not.
// - It is called on the module's one pump thread, with 32-bit file-system redirection switched
//   off on that thread. Every launch on the machine waits while it runs: keep it fast.
// - Anything it raises means "deny": a C++ exception, an access violation, any RaiseException
//   code; the launch is denied and the next one is served. The stack is unwound up to the
//   module's frame, so the cleanups that run are those the scanner's compiler registers for that
//   exception: a g++ scanner's destructors run for a C++ throw, but not for an access violation
//   or a RaiseException; Visual C++ runs destructors for a C++ throw, and for the others only
//   __finally blocks and, built with /EHa, destructors. A stack overflow is not caught.

#if defined(_MSC_VER)
#define VANTOR_SCANNER_EXPORT __declspec(dllexport)
#else
#define VANTOR_SCANNER_EXPORT  // MinGW: exported through the .def file's alias line
#endif

class CGuardHelper {
 public:
  VANTOR_SCANNER_EXPORT static bool __cdecl VtAllowExecution(const wchar_t* path);
};
