#pragma once
// Arbiter: a stand-in for the host's scanner library. It answers
// CGuardHelper::VtAllowExecution from a small rule policy and records what it was asked.
//
// Policy text, one rule a line, first match wins, anything unmatched is allowed:
//   deny  C:\Windows\Temp\*
//   allow C:\Tools\trusted.exe
//   # comment
// Patterns are drive-letter paths with '*' (any run of characters) and '?' (one character),
// matched case-insensitively, as Windows matches paths. At load the policy is read from the file
// named by the environment variable ARBITER_POLICY_FILE, if it is set.
#if defined(_WIN32)
#define ARBITER_API  // Arbiter.dll's exports are listed in its .def file
using ArbiterChar = wchar_t;
#else
#define ARBITER_API __attribute__((visibility("default")))
using ArbiterChar = char16_t;
#endif

class CGuardHelper {
 public:
  // True when the image at the zero-terminated path may run.
  static bool VtAllowExecution(const ArbiterChar* path);
};

// Decides instead of the policy while set; may throw, to play a scanner that fails.
using ArbiterHook = bool (*)(const ArbiterChar* path, void* context);

extern "C" {
// Replaces the rules (null or empty: allow everything). Returns the number of rules read, or -1
// if a line is not a rule (the previous rules then stay).
ARBITER_API int ArbiterSetPolicy(const char* rules);
// Reads the rules from a file. Returns the number of rules, or -1 if the file cannot be read or
// holds a line that is not a rule.
ARBITER_API int ArbiterLoadPolicyFile(const char* fileName);
ARBITER_API void ArbiterSetHook(ArbiterHook hook, void* context);
// What the rules say about a path, without recording it or consulting the hook.
ARBITER_API int ArbiterEvaluate(const ArbiterChar* path);
// Recording of the paths asked about (on by default).
ARBITER_API void ArbiterSetRecording(int on);
ARBITER_API int ArbiterQueryCount(void);
// The index-th path asked about, valid until ArbiterClearQueries; null when out of range.
ARBITER_API const ArbiterChar* ArbiterQuery(int index);
ARBITER_API void ArbiterClearQueries(void);
}
