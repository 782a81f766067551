// Basalt's log sink: takes pieces of log text exactly as the contract says and either writes
// them out or records them for inspection. Callers log from several threads at once, so one
// mutex guards the output and the records.
#define BASALT_BUILDING
#include "Basalt.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "StandinMutex.h"

namespace {

constexpr const char* kLogFileVariable = "BASALT_LOG_FILE";

struct Piece {
  int length;         // the length argument as given
  std::string bytes;  // the bytes taken
};

// The bytes a call hands over: -1 measures the zero-terminated text, other lengths are exact.
// Anything else (a null text, a length below -1) hands over nothing.
std::string_view Taken(const char* text, int length) {
  if (text == nullptr || length < -1) return {};
  if (length == -1) return std::string_view(text);
  return std::string_view(text, static_cast<std::size_t>(length));
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Appends to the file named by BASALT_LOG_FILE, or writes to standard error when the variable
// is unset or the file cannot be opened. Opening per piece keeps no handle between calls and
// lets the variable change while the process runs.
void Write(std::string_view text) {
  if (text.empty()) return;
  const char* path = std::getenv(kLogFileVariable);
  if (path != nullptr && *path != '\0') {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "ab"));
    if (file) {
      std::fwrite(text.data(), 1, text.size(), file.get());
      return;
    }
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
}

class Sink {
 public:
  void Take(const char* text, int length) {
    const std::string_view taken = Taken(text, length);
    std::lock_guard lock(mutex_);
    if (capturing_) {
      captured_.push_back(Piece{length, std::string(taken)});
      return;
    }
    // A message piece's length counts its terminating zero byte: the text ends before it.
    Write(taken.substr(0, taken.find('\0')));
  }

  void StartCapture() {
    std::lock_guard lock(mutex_);
    captured_.clear();
    capturing_ = true;
  }

  void StopCapture() {
    std::lock_guard lock(mutex_);
    capturing_ = false;
  }

  int CapturedCount() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(captured_.size());
  }

  int CapturedPiece(int index, int* length, char* bytes, int capacity) {
    std::lock_guard lock(mutex_);
    if (index < 0 || static_cast<std::size_t>(index) >= captured_.size()) return -1;
    const Piece& piece = captured_[static_cast<std::size_t>(index)];
    if (length != nullptr) *length = piece.length;
    if (bytes != nullptr && capacity > 0) {
      const std::size_t copied = std::min(piece.bytes.size(), static_cast<std::size_t>(capacity));
      std::memcpy(bytes, piece.bytes.data(), copied);
    }
    return static_cast<int>(piece.bytes.size());
  }

 private:
  StandinMutex mutex_;
  bool capturing_ = false;
  std::vector<Piece> captured_;
};

Sink& TheSink() {
  static Sink sink;
  return sink;
}

}  // namespace

extern "C" {

BASALT_API void LogSink(const char* text, int length) {
  TheSink().Take(text, length);
}

BASALT_API void BasaltCaptureStart(void) {
  TheSink().StartCapture();
}
BASALT_API void BasaltCaptureStop(void) {
  TheSink().StopCapture();
}
BASALT_API int BasaltCapturedCount(void) {
  return TheSink().CapturedCount();
}
BASALT_API int BasaltCapturedPiece(int index, int* length, char* bytes, int capacity) {
  return TheSink().CapturedPiece(index, length, bytes, capacity);
}

}  // extern "C"
