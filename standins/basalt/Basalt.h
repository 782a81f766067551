#pragma once
// Basalt, the host's utility library, as far as Vantor meets it: LogSink takes log text in
// pieces (on Windows it is ordinal 8 of Basalt.dll and has no name). Lines go to standard
// error, or are appended to the file named by the environment variable BASALT_LOG_FILE. A host
// or a test can capture the pieces instead, to see exactly what a caller handed over.

#if defined(_WIN32) && !defined(BASALT_BUILDING)
// Basalt.dll's .def file decides what it exports; consumers import the capture API.
#define BASALT_API __declspec(dllimport)
#elif defined(_WIN32)
#define BASALT_API
#else
#define BASALT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Whether the file named by BASALT_LOG_FILE can take the log: 0 when it can be opened for
// appending (the file is created if need be) or the variable is unset or empty; otherwise -1,
// with the reason, naming the variable and the file, copied into `message` (cut to `capacity`
// bytes with its terminator). A host calls this at start to refuse an unusable log file; a
// write that fails later sends the text to standard error after a line that says why.
BASALT_API int BasaltCheckLogFile(char* message, int capacity);

// One piece of log text. A length of -1 means the text is zero-terminated and is measured
// here; any other length is the exact number of bytes to take. The pointer is not kept.
// Declared exactly as the module declares its import (no import attribute), so both views
// may meet in one program.
void LogSink(const char* text, int length);

// From now on record every piece instead of writing it; earlier records are dropped.
BASALT_API void BasaltCaptureStart(void);
// Write pieces again. The records stay readable until the next BasaltCaptureStart.
BASALT_API void BasaltCaptureStop(void);
// Number of pieces recorded since BasaltCaptureStart.
BASALT_API int BasaltCapturedCount(void);
// Piece `index` (0 is the first recorded): stores the length argument it came with in
// *length, copies up to `capacity` of the bytes taken into `bytes`, and returns how many
// bytes were taken (so a caller can size its buffer). Returns -1 when there is no such piece.
BASALT_API int BasaltCapturedPiece(int index, int* length, char* bytes, int capacity);

#ifdef __cplusplus
}
#endif
