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

// The message as narrow text in the "C" locale, with the count the runtime reports (which
// includes the terminating zero byte). A message the runtime cannot convert (a character above
// U+00FF) becomes an empty piece of length 0.
struct NarrowMessage {
  std::unique_ptr<char[]> text;
  std::size_t length = 0;
};

NarrowMessage ToNarrow(const std::u16string& message) {
  const WCHAR* wide = AsWin(message.c_str());
  std::size_t count = 0;
  wcstombs_s(&count, nullptr, 0, wide, message.size());
  NarrowMessage narrow;
  if (count == 0) return narrow;
  const std::size_t size = count + 1;
  narrow.text = std::make_unique<char[]>(size);
  wcstombs_s(&narrow.length, narrow.text.get(), size, wide, message.size());
  return narrow;
}

// Every piece is made before the first one is sent, so a line that cannot be made for want of
// memory never reaches the sink in part.
void SendLine(int level, const char16_t* format, va_list args) {
  const std::string stamp = Timestamp();
  std::u16string message;
  FormatWide(message, format, args);
  const NarrowMessage narrow = ToNarrow(message);
  char prefix[16] = {};
  wsprintfA(prefix, "%i: ", level);

  LogSink(stamp.c_str(), static_cast<int>(stamp.size()));
  LogSink(prefix, -1);
  if (narrow.text) LogSink(narrow.text.get(), static_cast<int>(narrow.length));
}

}  // namespace

void GuardLog(int level, const char16_t* format, ...) noexcept {
  if (level <= 0) return;
  va_list args;
  va_start(args, format);
  try {
    SendLine(level, format, args);
  } catch (...) {
    // Dropped: logging never fails towards its caller.
  }
  va_end(args);
}
