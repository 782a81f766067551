// Arbiter.dll built from the kit alone: every image may run but those whose path names "denied".
#include <vantor/Scanner.h>

bool __cdecl CGuardHelper::VtAllowExecution(const wchar_t* path) {
  static const wchar_t kWord[] = L"denied";
  for (const wchar_t* at = path; *at != L'\0'; ++at) {
    int matched = 0;
    while (kWord[matched] != L'\0' && at[matched] == kWord[matched]) ++matched;
    if (kWord[matched] == L'\0') return false;
  }
  return true;
}
