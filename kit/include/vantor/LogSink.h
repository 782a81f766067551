#pragma once
// The log sink, as vantor.dll calls it: ordinal 8 of Basalt.dll, exported without a name.
// Export it through a .def file holding the line of share/vantor/def/Basalt.def:
//   LogSink @8 NONAME
// (MinGW: list the .def among the sources; clang-cl/lld-link: /DEF:Basalt.def). vantor.dll binds
// to the ordinal only, so the name LogSink is yours to change; the signature and __cdecl are not.
//
// What arrives: every line as three pieces, in order, from one thread:
//   1. the local time "[HH:MM] ", length 8;
//   2. the level "1: ", "2: " or "3: " (information, warning, error), length -1;
//   3. the message, for example "VtClient\t Started.\n", whose length counts the message's
//      terminating zero byte ("VtClient\t Started.\n" has 19 characters and comes with 20).
//      A message holding a character above U+00FF arrives as an empty piece of length 0.
// A length of -1 means: the text is zero-terminated, measure it. Any other length is the exact
// number of bytes to take; the text is zero-terminated as well. A sink that writes a file must
// not copy the message's zero byte: take the bytes up to the first zero. Bytes are Latin-1; the
// line ends with a single LF (no CR), which the message carries; the module adds nothing between
// pieces. share/doc/vantor/log-lines.md lists every message and level.
//
// The contract:
// - Must not throw or fault: nothing on the module's side catches it.
// - Thread-safe: Start, Stop, module load and unload may log from different threads, and pieces
//   of two lines may interleave.
// - Do not keep the pointer after returning: the buffer is freed or reused at once.
// - A result, if any, is ignored.

extern "C" void __cdecl LogSink(const char* text, int length);
