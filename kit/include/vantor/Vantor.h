#pragma once
// vantor.dll as a host sees it: the exported class CVantor. Link with lib/vantor.lib (Visual C++,
// clang-cl) or lib/libvantor.dll.a (MinGW g++); both resolve these declarations to the three
// names vantor.dll exports, ?Start@CVantor@@SA_NXZ, ?Stop@CVantor@@SA_NXZ and the copy
// assignment (x86 ??4CVantor@@QAEAAV0@ABV0@@Z, x64 ??4CVantor@@QEAAAEAV0@AEBV0@@Z).
// Change nothing here: one qualifier more or less names another function, which the import
// library does not have (a link error) or, declared by hand, may call the wrong way.
//
// Where the files lie: vantor.dll, Arbiter.dll and Basalt.dll where the loader finds them for
// the host (its own directory is the usual place); vantorflt.sys in the host executable's own
// directory, since the module builds the driver's path from it.
//
// The contract:
// - Start and Stop may be called from any thread, but calls must not overlap: the module takes
//   no lock. Never call them from DllMain (Start creates a thread and waits on the service
//   manager; Stop waits for that thread).
// - Start returns true once the driver has been told to guard. It creates the "vantorflt"
//   service when none exists (the entry stays in the service database) and starts the driver.
//   false means the driver is not guarding: the service, the device, the handshake, the pump
//   thread or the start code failed, and the log sink has received a level-3 line saying which.
//   A later Start retries; a Start while guarding keeps the one pump and sends the start code.
// - Stop ends the pump and tells the driver to stop guarding. It leaves the device open and the
//   driver's service running; a later Start reuses them. true also when nothing was started.
//   false means the stop code failed (a level-3 line says so); the pump has ended all the same.
// - Call Stop before unloading vantor.dll. A FreeLibrary while guarding does not unload the
//   module: the pump holds a reference of its own until a Stop ends it.
// - Neither lets an exception out: one caught inside is logged and answered false.
// - Assigning one CVantor to another copies nothing; the class has no state.

#ifndef _WIN32
#error "vantor.dll is a Windows DLL"
#endif

class __declspec(dllimport) CVantor {
 public:
  static bool __cdecl Start();
  static bool __cdecl Stop();
  CVantor& operator=(const CVantor& other);
};
