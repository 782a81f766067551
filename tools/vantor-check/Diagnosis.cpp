#include "Diagnosis.h"

namespace {

constexpr char kGccScannerName[] = "_ZN12CGuardHelper16VtAllowExecutionEPKw";
constexpr char kNotBound[] =
    "vantor.dll will not bind to it: on Windows vantor.dll then fails to load; under Wine it "
    "loads, Start returns true and every launch is denied. ";

bool Has(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// What a decorated name of VtAllowExecution says that differs from the declaration wanted.
std::string DecorationDifference(const std::string& name) {
  if (!Has(name, "@CGuardHelper@@")) return "it is not a member of class CGuardHelper";
  if (Has(name, "@@SG")) return "it is __stdcall (declared so, or built with /Gz)";
  if (Has(name, "@@SI")) return "it is __fastcall";
  if (!Has(name, "@@S")) return "it is not a static member function";
  if (!Has(name, "@@SA_N")) return "it does not return bool";
  if (Has(name, "PA_W@") || Has(name, "PEA_W@")) return "its path parameter is not const";
  if (Has(name, "PEB_W@") != (kArch[1] == '6')) return "it is built for the other architecture";
  return "its declaration differs from vantor/Scanner.h";
}

}  // namespace

std::string LoadFailureReason(unsigned long error) {
  switch (error) {
    case 126:
      return "the file, or a DLL it imports, was not found";
    case 127:
      return "a function it imports is missing from the DLL that should provide it";
    case 193:
      return std::string("it is not a ") + kArch +
             " DLL; vantor.dll and its partners must all be built for one architecture";
    case 1114:
      return "its DllMain failed";
    default:
      return "the loader refused it";
  }
}

std::string ScannerExportProblem(const std::vector<Export>& exports) {
  for (const Export& item : exports) {
    const std::string& name = item.name;
    if (!Has(name.c_str(), "VtAllowExecution")) continue;
    const std::string found =
        "the scanner is exported as " + name + ", not as " + kScannerExport + ", so " + kNotBound;
    if (name == kGccScannerName) {
      return found + "That is g++'s own name. Fix: export it through a .def file with the line \"" +
             kScannerExport + " = " + kGccScannerName + "\" (share/vantor/def/Arbiter-" + kArch +
             ".def), without __declspec(dllexport).";
    }
    if (name[0] != '?') {
      return found + "It is a plain function (extern \"C\"). Fix: " + kScannerFix;
    }
    return found + "The name says " + DecorationDifference(name) + ". Fix: " + kScannerFix;
  }
  return std::string("no export named ") + kScannerExport + " or anything like it, so " +
         kNotBound + "Fix: " + kScannerFix +
         " With Visual C++ or clang-cl the header's VANTOR_SCANNER_EXPORT exports it; with "
         "MinGW g++ use share/vantor/def/Arbiter-" +
         kArch + ".def.";
}

std::string SinkExportProblem(const std::vector<Export>& exports) {
  for (const Export& item : exports) {
    if (!Has(item.name, "LogSink")) continue;
    return "the sink is exported by the name " + item.name + " at ordinal " +
           std::to_string(item.ordinal) +
           ", but vantor.dll imports ordinal 8 of Basalt.dll and no name, so it does not bind "
           "to it. Fix: put the line \"LogSink @8 NONAME\" in Basalt.dll's .def file "
           "(share/vantor/def/Basalt.def).";
  }
  return "no ordinal 8: vantor.dll imports its log sink as ordinal 8 of Basalt.dll. Fix: "
         "put the line \"LogSink @8 NONAME\" in Basalt.dll's .def file "
         "(share/vantor/def/Basalt.def).";
}

std::string ConventionProblem(const std::string& who, int bytesPopped, const char* fix) {
  return who + " removed " + std::to_string(bytesPopped) +
         " bytes of its own arguments from the stack: it is __stdcall (WINAPI, CALLBACK), but "
         "vantor.dll calls it __cdecl and removes them again, so its stack is off after every "
         "call. Fix: " +
         fix;
}
