// The call journal: one line per simulated API call, kept while a test asks for it.
#include <atomic>
#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

#include "winsim/Calls.h"
#include "winsim/WideString.h"

namespace winsim::detail {
namespace {

std::atomic<bool> g_active{false};
std::mutex g_mutex;
std::vector<std::string> g_lines;

std::string Format(const char* format, unsigned long long value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

CallLine::CallLine(const char* name) : line_(name) {
  line_ += '(';
}

CallLine& CallLine::Arg(const std::string& text) {
  if (!first_) line_ += ", ";
  first_ = false;
  line_ += text;
  return *this;
}

CallLine& CallLine::Text(const WCHAR* text) {
  return Arg(text == nullptr ? "null" : ToUtf8(View(text)));
}

CallLine& CallLine::Text(const char* text) {
  return Arg(text == nullptr ? "null" : text);
}

CallLine& CallLine::Hex(DWORD value) {
  return Arg(Format("%#llx", value));
}

CallLine& CallLine::Dec(std::uint64_t value) {
  return Arg(Format("%llu", value));
}

CallLine& CallLine::Pointer(const void* pointer) {
  return Arg(pointer == nullptr ? "null" : "ptr");
}

CallLine& CallLine::Handle(const void* handle) {
  if (handle == nullptr) return Arg("null");
  if (handle == INVALID_HANDLE_VALUE) return Arg("INVALID_HANDLE_VALUE");
  return Arg(Format("%#llx", reinterpret_cast<std::uintptr_t>(handle)));
}

CallLine& CallLine::Timeout(DWORD milliseconds) {
  return milliseconds == INFINITE ? Arg("INFINITE") : Dec(milliseconds);
}

std::string CallLine::Done() {
  return line_ + ')';
}

bool JournalActive() {
  return g_active.load(std::memory_order_acquire);
}

void Record(std::string line) {
  std::lock_guard lock(g_mutex);
  if (g_active.load(std::memory_order_relaxed)) g_lines.push_back(std::move(line));
}

void ResetJournal() {
  std::lock_guard lock(g_mutex);
  g_active.store(false, std::memory_order_release);
  g_lines.clear();
}

}  // namespace winsim::detail

namespace winsim {

void StartJournal() {
  std::lock_guard lock(detail::g_mutex);
  detail::g_lines.clear();
  detail::g_active.store(true, std::memory_order_release);
}

std::vector<std::string> TakeJournal() {
  std::lock_guard lock(detail::g_mutex);
  return std::exchange(detail::g_lines, {});
}

}  // namespace winsim
