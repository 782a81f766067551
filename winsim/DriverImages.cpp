// Driver images: what StartServiceW "loads" for a service's binary file.
#include <map>
#include <mutex>

#include "winsim/Devices.h"
#include "winsim/ResetParts.h"
#include "winsim/WideString.h"

namespace winsim::detail {
namespace {

struct Registered {
  DriverImage image;
  bool loaded = false;
};

std::mutex g_mutex;
std::map<std::u16string, Registered> g_images;  // by upper-case file name

}  // namespace

std::optional<DriverImage> ClaimDriverImage(std::u16string_view fileName, DWORD& error) {
  std::lock_guard lock(g_mutex);
  const auto found = g_images.find(UpperCase(fileName));
  if (found == g_images.end()) {
    error = ERROR_FILE_NOT_FOUND;
    return std::nullopt;
  }
  if (found->second.loaded) {
    error = ERROR_SERVICE_ALREADY_RUNNING;
    return std::nullopt;
  }
  found->second.loaded = true;
  return found->second.image;
}

void UnclaimDriverImage(std::u16string_view fileName) {
  std::lock_guard lock(g_mutex);
  const auto found = g_images.find(UpperCase(fileName));
  if (found != g_images.end()) found->second.loaded = false;
}

void ResetDriverImages() {
  std::lock_guard lock(g_mutex);
  g_images.clear();
}

}  // namespace winsim::detail

namespace winsim {

void RegisterDriverImage(const std::u16string& fileName, const std::u16string& deviceName,
                         DriverLoader load) {
  std::lock_guard lock(detail::g_mutex);
  detail::g_images[detail::UpperCase(fileName)] = {{deviceName, std::move(load)}, false};
}

}  // namespace winsim
