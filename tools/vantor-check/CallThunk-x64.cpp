// x64 has one calling convention: the callee never removes arguments.
#include "CheckedCall.h"

extern "C" std::uintptr_t VantorCheckCall(const void* function, int count,
                                          const std::uintptr_t* arguments, int* bytesPopped,
                                          unsigned long* raised) {
  using Call = std::uintptr_t (*)(std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t);
  std::uintptr_t padded[4] = {};
  for (int i = 0; i < count && i < 4; ++i) padded[i] = arguments[i];
  *bytesPopped = 0;
  *raised = 0;
  return reinterpret_cast<Call>(function)(padded[0], padded[1], padded[2], padded[3]);
}
