#pragma once
// Calls a partner's function the way vantor.dll does (__cdecl: the caller removes the
// arguments) and reports what a careless build of it would get wrong.
#include <cstdint>

struct CallResult {
  std::uintptr_t value = 0;  // the function's result register
  unsigned long raised = 0;  // the exception code it raised, or 0
  int bytesPopped = 0;       // arguments it removed itself: 0 for __cdecl, 4 each for __stdcall
};

// Calls `function` with up to four pointer-sized arguments. An exception raised inside (any
// compiler's C++ throw, a fault, a RaiseException) ends the call and is reported, not passed on.
CallResult CheckedCall(const void* function, int count, const std::uintptr_t* arguments);

// The raw call: pushes the arguments, calls, and returns the result register; stores in
// *bytesPopped how much of the arguments the callee removed from the stack. On x86 it also
// catches any exception the call raises, as vantor.dll does, and stores its code in *raised;
// on x64 *raised stays 0 and CheckedCall's trap catches it.
extern "C" std::uintptr_t VantorCheckCall(const void* function, int count,
                                          const std::uintptr_t* arguments, int* bytesPopped,
                                          unsigned long* raised);
