#pragma once
// The module's one log call. A level above zero sends one line to the host's log sink as three
// narrow pieces: the local time "[HH:MM] ", the level "N: " and the formatted message (which
// brings its own line end). Levels of zero or less produce nothing. Levels in use: 1
// information, 2 warning, 3 error. The format is the formatter's directive language. Logging
// never fails towards its caller: a line that cannot be made for want of memory, or whose piece
// the sink refuses with an exception, is dropped from there on.
void GuardLog(int level, const char16_t* format, ...) noexcept;
