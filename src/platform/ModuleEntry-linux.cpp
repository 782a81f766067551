// The entry point of libvantor.so: the dynamic loader runs LoadModule when dlopen maps the
// library (or the program starts with it) and UnloadModule when the last dlclose unmaps it (or
// the program exits with it loaded). The module has no other start-up or tear-down code.
#include "module/ModuleSteps.h"

namespace {

[[gnu::constructor]] void LoadModule() {
  ModuleSteps::Load();
}

[[gnu::destructor]] void UnloadModule() {
  ModuleSteps::Unload();
}

}  // namespace
