#pragma once
// What a wrong export or convention means, in words, with the fix.
#include <string>
#include <vector>

#include "Exports.h"

#if defined(_WIN64)
inline constexpr char kScannerExport[] = "?VtAllowExecution@CGuardHelper@@SA_NPEB_W@Z";
inline constexpr char kArch[] = "x64";
#else
inline constexpr char kScannerExport[] = "?VtAllowExecution@CGuardHelper@@SA_NPB_W@Z";
inline constexpr char kArch[] = "x86";
#endif
inline constexpr char kScannerFix[] =
    "declare it exactly as vantor/Scanner.h does: class CGuardHelper { public: static bool "
    "__cdecl VtAllowExecution(const wchar_t* path); };";
inline constexpr char kSinkFix[] =
    "declare it exactly as vantor/LogSink.h does: extern \"C\" void __cdecl LogSink(const char* "
    "text, int length);";

// Why LoadLibrary failed with this error, for a partner DLL.
std::string LoadFailureReason(unsigned long error);
// The scanner's decorated name is missing: what was exported instead, and the fix.
std::string ScannerExportProblem(const std::vector<Export>& exports);
// Ordinal 8 is missing: where the sink went, and the fix.
std::string SinkExportProblem(const std::vector<Export>& exports);
// A function that removed its own arguments (__stdcall) where __cdecl is meant.
std::string ConventionProblem(const std::string& who, int bytesPopped, const char* fix);
