// Logical drives and their DOS device targets. Tests change drives from their own thread while
// the module reads the list, so the state sits behind a lock.
#include <algorithm>
#include <map>
#include <mutex>

#include "winsim/Calls.h"
#include "winsim/ResetParts.h"
#include "winsim/WideString.h"

namespace {

std::mutex g_mutex;
std::map<char16_t, std::vector<std::u16string>> g_drives;  // letter order, as Windows lists them
std::function<void(DWORD)> g_hook;

bool IsLetter(char16_t c) {
  return c >= u'A' && c <= u'Z';
}

// Stores `text` (characters with all their NULs) when it fits `room`; the result as the
// drive functions report it.
DWORD Store(const std::u16string& text, WCHAR* buffer, DWORD room) {
  if (buffer == nullptr || text.size() > room) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(text.begin(), text.end(), buffer);
  return static_cast<DWORD>(text.size());
}

}  // namespace

DWORD WINAPI GetLogicalDriveStringsW(DWORD bufferLength, LPWSTR buffer) {
  std::function<void(DWORD)> hook;
  {
    std::lock_guard lock(g_mutex);
    hook = g_hook;
  }
  if (hook) hook(bufferLength);
  if (auto error = winsim::detail::EnterCall(winsim::Api::GetLogicalDriveStringsW, [&] {
        return winsim::detail::CallLine("GetLogicalDriveStringsW")
            .Dec(bufferLength)
            .Pointer(buffer)
            .Done();
      })) {
    SetLastError(*error);
    return 0;
  }
  std::u16string list;
  {
    std::lock_guard lock(g_mutex);
    for (const auto& drive : g_drives) list += {drive.first, u':', u'\\', u'\0'};
  }
  // Too small a buffer (0 and null included): the size needed, with the list's final NUL.
  const auto needed = static_cast<DWORD>(list.size() + 1);
  if (buffer == nullptr || bufferLength < needed) return needed;
  std::copy(list.begin(), list.end(), buffer);
  buffer[list.size()] = 0;
  return static_cast<DWORD>(list.size());  // without the final NUL
}

DWORD WINAPI QueryDosDeviceW(LPCWSTR deviceName, LPWSTR targetPath, DWORD maxChars) {
  if (auto error = winsim::detail::EnterCall(winsim::Api::QueryDosDeviceW, [&] {
        return winsim::detail::CallLine("QueryDosDeviceW")
            .Text(deviceName)
            .Pointer(targetPath)
            .Dec(maxChars)
            .Done();
      })) {
    SetLastError(*error);
    return 0;
  }
  std::u16string multi;
  {
    std::lock_guard lock(g_mutex);
    if (deviceName == nullptr) {  // no name: the list of all DOS device names
      for (const auto& drive : g_drives) multi += {drive.first, u':', u'\0'};
    } else {
      const std::u16string_view name = winsim::detail::View(deviceName);
      const char16_t letter = name.empty() ? u'\0' : winsim::detail::UpperCase(name[0]);
      const auto drive = g_drives.find(letter);
      // Only the bare drive name answers: "C:" does, "C:\" does not.
      if (name.size() != 2 || name[1] != u':' || drive == g_drives.end() || drive->second.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
      }
      for (const std::u16string& target : drive->second) (multi += target) += u'\0';
    }
  }
  multi += u'\0';
  return Store(multi, targetPath, maxChars);
}

namespace winsim {

void AddDrive(char16_t letter, std::vector<std::u16string> targets) {
  letter = detail::UpperCase(letter);
  if (!IsLetter(letter)) return;
  std::lock_guard lock(g_mutex);
  g_drives[letter] = std::move(targets);
}

void RemoveDrive(char16_t letter) {
  std::lock_guard lock(g_mutex);
  g_drives.erase(detail::UpperCase(letter));
}

void ClearDrives() {
  std::lock_guard lock(g_mutex);
  g_drives.clear();
}

void OnDriveListCall(std::function<void(DWORD bufferLength)> hook) {
  std::lock_guard lock(g_mutex);
  g_hook = std::move(hook);
}

namespace detail {
void ResetDrives() {
  std::lock_guard lock(g_mutex);
  g_drives.clear();
  g_hook = nullptr;
}
}  // namespace detail

}  // namespace winsim
