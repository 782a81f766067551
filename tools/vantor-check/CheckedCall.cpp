#include "CheckedCall.h"

#include <windows.h>

namespace {

// Where an exception inside the call resumes: the context captured just before the call. The
// checker calls from one thread, so one trap serves.
struct Trap {
  CONTEXT resume;
  volatile bool armed;
  volatile unsigned long raised;
};
Trap trap;

// Reached when nothing inside the partner handled the exception.
LONG WINAPI ResumeAfterCall(EXCEPTION_POINTERS* info) {
  if (!trap.armed) return EXCEPTION_CONTINUE_SEARCH;
  trap.armed = false;
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  trap.raised = code != 0 ? code : 1;
  *info->ContextRecord = trap.resume;
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Captures the resume point, then calls; runs on past the capture a second time when an
// exception brings it back there (x64; the x86 call catches its own).
__attribute__((noinline)) CallResult CallUnderTrap(const void* function, int count,
                                                   const std::uintptr_t* arguments) {
  volatile CallResult result{};
  trap.raised = 0;
  RtlCaptureContext(&trap.resume);
  if (trap.raised != 0) return CallResult{0, trap.raised, 0};
  trap.armed = true;
  int popped = 0;
  unsigned long raised = 0;
  try {
    result.value = VantorCheckCall(function, count, arguments, &popped, &raised);
    result.raised = raised;
  } catch (...) {
    result.raised = 0x20474343;  // a g++ exception (its code on x64; i686 raises none)
  }
  trap.armed = false;
  return CallResult{result.value, result.raised, popped};
}

}  // namespace

CallResult CheckedCall(const void* function, int count, const std::uintptr_t* arguments) {
  const LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(ResumeAfterCall);
  const CallResult result = CallUnderTrap(function, count, arguments);
  SetUnhandledExceptionFilter(previous);
  return result;
}
