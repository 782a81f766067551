#pragma once
// Arbiter: a stand-in for the host's scanner library. It answers
// CGuardHelper::VtAllowExecution from a small rule policy and records what it was asked.
//
// Policy text, UTF-8, one rule a line, first match wins, anything unmatched is allowed:
//   deny  C:\Windows\Temp\*     # '#' after a blank, or at the start of a line, begins a comment
//   allow C:\Tools\trusted.exe
// Patterns are drive-letter paths with '*' (any run of characters) and '?' (one character),
// compared without regard to case the way Windows compares file names. At load the policy is
// read from the file named by the environment variable ARBITER_POLICY_FILE, if it is set; when
// that file cannot be used, every launch is denied (fail closed) and the first one judged
// prints why on standard error.
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
// Reads the rules from a file. Returns the number of rules, or -1 if the file cannot be used
// (the previous rules then stay), with the reason, naming the file and line, copied into
// `error` (UTF-8, cut to `capacity` bytes with its terminator; null or 0: not wanted).
ARBITER_API int ArbiterLoadPolicyFile(const char* fileName, char* error, int capacity);
ARBITER_API void ArbiterSetHook(ArbiterHook hook, void* context);
// What the rules say about a path, without recording it or consulting the hook.
ARBITER_API int ArbiterEvaluate(const ArbiterChar* path);
// The same, with the deciding rule copied into `rule` as "line N: deny PATTERN" (UTF-8), or an
// empty text when no rule matches and the default allows.
ARBITER_API int ArbiterExplain(const ArbiterChar* path, char* rule, int capacity);
// The index-th rule (from 0) as written, copied into `text`; returns its line number, or -1
// when there is no such rule.
ARBITER_API int ArbiterRule(int index, char* text, int capacity);
// Recording of the paths asked about (on by default).
ARBITER_API void ArbiterSetRecording(int on);
ARBITER_API int ArbiterQueryCount(void);
// The index-th path asked about, valid until ArbiterClearQueries; null when out of range.
ARBITER_API const ArbiterChar* ArbiterQuery(int index);
ARBITER_API void ArbiterClearQueries(void);
}
