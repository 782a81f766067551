// The start-up object of vantor.dll on i686, linked in place of the compiler's crtbegin.o (the
// link names this object's folder with -B). The module's C++ exceptions unwind with DWARF tables
// through the static libgcc linked into the DLL, and that copy finds a frame's table only once
// the table is registered with it. The compiler's own start-up registers the tables with
// libgcc_s_dw2-1.dll instead whenever the host has already loaded that DLL: every throw in the
// module would then find no handler and end the host in std::terminate. This start-up registers
// them with the static copy, always, and never looks for that DLL.
#include <cstdlib>

extern "C" {
// The static libgcc's registry of unwind tables.
void __register_frame_info(const void* tables, void* registration);
void* __deregister_frame_info(const void* tables);
// Called by crtend.o's constructor, before every other constructor of the DLL.
void __gcc_register_frame();
extern const char vantorUnwindTables[];
}

// The start of the DLL's unwind tables. The C runtime's entry object is linked first and this one
// second, so the tables of everything after it follow this label, up to the zero word that
// crtend.o, linked last, puts at their end. (The PE assembler has no .pushsection: the text
// section, where the compiler starts, is named again afterwards.)
asm(R"(
        .section .eh_frame, "dr"
        .balign 4
        .globl _vantorUnwindTables
_vantorUnwindTables:
        .text
)");

namespace {

// Where libgcc keeps its bookkeeping for the registered tables (six words in GCC 12).
void* registration[16];

void DeregisterUnwindTables() {
  __deregister_frame_info(vantorUnwindTables);
}

}  // namespace

void __gcc_register_frame() {
  __register_frame_info(vantorUnwindTables, registration);
  std::atexit(DeregisterUnwindTables);
}
