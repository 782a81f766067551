// Fuzzes the pump's handling of one request: arbitrary bytes as ImagePath in a record that is
// sized for the longest path plus its terminator and ends at a no-access page. Every request must
// be answered (Pending exactly 0); a path terminated within the bound is judged by the scanner
// (asked once, Verdict exactly its 0 or 1, never a text with a zero unit or beyond the bound), an
// unterminated one is denied unasked, and the copy never touches the guard page.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>

#include "Arbiter.h"
#include "RecordMemory.h"
#include "module/ModuleState.h"
#include "paths/PathConverter.h"
#include "requests/RequestPump.h"
#include "winsim/Control.h"

namespace {

constexpr std::size_t kPathAreaUnits = kMaxImagePathUnits + 1;
constexpr std::size_t kRecordBytes = offsetof(SharedSlot, ImagePath) + kPathAreaUnits * 2;

struct Scan {
  std::u16string asked;
  bool answer = false;
  int calls = 0;
};
Scan scan;

bool Decide(const ArbiterChar* path, void*) {
  scan.asked = reinterpret_cast<const char16_t*>(path);
  ++scan.calls;
  return scan.answer;
}

SharedSlot* Record() {
  static RecordMemory memory(kRecordBytes);
  static const bool ready = [] {
    winsim::AddDrive(u'C', {u"\\Device\\HarddiskVolume1"});
    CreateModuleObjects();
    PathConverter::BuildDriveMap();
    ArbiterSetRecording(0);
    ArbiterSetHook(Decide, nullptr);
    return true;
  }();
  (void)ready;
  return static_cast<SharedSlot*>(memory.Record());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  SharedSlot* slot = Record();
  // Byte 0: the scanner's answer and how the area after the input is filled (zeros, or non-zero
  // units up to the guard page so the bound is all that stops the copy).
  scan = {{}, (data[0] & 1) != 0, 0};
  const bool fillToGuard = (data[0] & 2) != 0;
  const std::uint32_t pending = data[1] == 0 ? 1u : data[1];
  data += 2;
  size -= 2;
  const std::size_t units = std::min(size / 2, kPathAreaUnits);
  char16_t* path = slot->ImagePath;
  std::memcpy(path, data, units * 2);
  for (std::size_t i = units; i < kPathAreaUnits; ++i) path[i] = fillToGuard ? u'a' : 0;

  const bool terminated = std::find(path, path + kPathAreaUnits, u'\0') != path + kPathAreaUnits;

  slot->Verdict = 0xFFFFFFFFu;
  std::atomic_ref(slot->Pending).store(pending, std::memory_order_release);
  g_pSharedSlot = slot;
  ServeRequest();

  if (std::atomic_ref(slot->Pending).load() != 0) __builtin_trap();
  if (scan.calls != (terminated ? 1 : 0)) __builtin_trap();
  if (slot->Verdict != (terminated && scan.answer ? 1u : 0u)) __builtin_trap();
  if (scan.asked.size() > kMaxImagePathUnits || scan.asked.find(u'\0') != scan.asked.npos)
    __builtin_trap();
  return 0;
}
