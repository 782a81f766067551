// Basalt's log sink: takes pieces of log text exactly as the contract says and either writes
// them out or records them for inspection. Callers log from several threads at once, so one
// mutex guards the output and the records.
#define BASALT_BUILDING
#include "Basalt.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

// The file named by BASALT_LOG_FILE; null when the variable is unset or empty.
const char* LogFile() {
  const char* path = std::getenv(kLogFileVariable);
  return path != nullptr && *path != '\0' ? path : nullptr;
}

// Appends to the log file, opened for this piece only (no handle is kept between calls, and the
// variable may change while the process runs). Returns why it failed, or an empty text.
std::string AppendTo(const char* path, std::string_view text) {
  errno = 0;
  std::FILE* file = std::fopen(path, "ab");
  if (file == nullptr) return std::strerror(errno);
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const int writeError = errno;
  const bool closed = std::fclose(file) == 0;  // a full device reports here, on the flush
  if (written && closed) return {};
  return std::strerror(written ? errno : writeError);
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

  // Called with mutex_ held. A piece the log file does not take goes to standard error, after
  // one line that says why (again whenever the reason changes), so no line is lost unseen.
  void Write(std::string_view text) {
    if (text.empty()) return;
    const char* path = LogFile();
    if (path != nullptr) {
      const std::string problem = AppendTo(path, text);
      if (problem.empty()) {
        lastProblem_.clear();
        return;
      }
      const std::string said = std::string(path) + ": " + problem;
      if (said != lastProblem_) {
        std::fprintf(stderr, "basalt: cannot write the log to %s; writing it to standard error\n",
                     said.c_str());
        lastProblem_ = said;
      }
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
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
  std::string lastProblem_;  // the last write failure reported, empty after a good write
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

BASALT_API int BasaltCheckLogFile(char* message, int capacity) {
  const char* path = LogFile();
  if (path == nullptr) return 0;
  std::error_code ignored;
  std::string problem = std::filesystem::is_directory(path, ignored) ? "is a directory" : "";
  if (problem.empty()) {
    errno = 0;
    std::FILE* file = std::fopen(path, "ab");
    if (file == nullptr) problem = std::strerror(errno);
    if (file != nullptr) std::fclose(file);
  }
  if (problem.empty()) return 0;
  if (message != nullptr && capacity > 0) {
    const std::string text =
        std::string(kLogFileVariable) + "=" + path + ": cannot be opened for appending: " + problem;
    const std::size_t length = std::min(text.size(), static_cast<std::size_t>(capacity) - 1);
    std::memcpy(message, text.data(), length);
    message[length] = '\0';
  }
  return -1;
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
