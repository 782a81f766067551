// The clang-cl build links no C runtime: this stands in for its start-up, which calls main.
#include <windows.h>

int main();

extern "C" void ProofEntry() {
  ExitProcess(static_cast<UINT>(main()));
}
