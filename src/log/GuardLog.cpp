// GuardLog keeps no state and takes no lock: every string and buffer is local, so lines logged
// at once from two threads may interleave their pieces at the sink.
#include "log/GuardLog.h"

#include <cstdarg>
#include <cstddef>
#include <ctime>
#include <memory>
#include <string>

#include "log/Formatter.h"
#include "platform/Imports.h"
#include "platform/Win32.h"

namespace {

// Sent in place of the time when the runtime cannot break the clock into local time; the
// line is still worth having. Same length as a real stamp.
constexpr const char* kUnknownTimestamp = "[--:--] ";

// "[HH:MM] " for the current local time.
std::string Timestamp() {
  const __time64_t now = _time64(nullptr);
  const std::tm* local = _localtime64(&now);
  if (local == nullptr) return kUnknownTimestamp;
  std::string stamp;
  FormatNarrow(stamp, "[%02d:%02d] ", local->tm_hour, local->tm_min);
  return stamp;
}

// Converts the message to narrow text in the "C" locale and hands it to the sink with the
// count the runtime reports, which includes the terminating zero byte. A message the runtime
// cannot convert (a character above U+00FF) arrives as an empty piece of length 0.
void SendMessagePiece(const std::u16string& message) {
  const WCHAR* wide = AsWin(message.c_str());
  std::size_t count = 0;
  wcstombs_s(&count, nullptr, 0, wide, message.size());
  if (count == 0) return;

  const std::size_t size = count + 1;
  const auto narrow = std::make_unique<char[]>(size);
  std::size_t converted = 0;
  wcstombs_s(&converted, narrow.get(), size, wide, message.size());
  LogSink(narrow.get(), static_cast<int>(converted));
}

}  // namespace

void GuardLog(int level, const char16_t* format, ...) {
  if (level <= 0) return;

  const std::string stamp = Timestamp();
  LogSink(stamp.c_str(), static_cast<int>(stamp.size()));

  std::u16string message;
  va_list args;
  va_start(args, format);
  try {
    FormatWide(message, format, args);
  } catch (...) {
    va_end(args);  // the argument list is closed on every way out; the exception goes on
    throw;
  }
  va_end(args);

  char prefix[16] = {};
  wsprintfA(prefix, "%i: ", level);
  LogSink(prefix, -1);

  SendMessagePiece(message);
}
