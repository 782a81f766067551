#pragma once
// Devices and the driver images that create them, for the service manager and CreateFileW.
#include <memory>
#include <optional>
#include <string_view>

#include "winsim/Control.h"

namespace winsim::detail {

std::shared_ptr<Device> FindDevice(std::u16string_view name);

struct DriverImage {
  std::u16string deviceName;
  DriverLoader load;
};
// Claims the image registered for `fileName` for one load: nullopt when there is none (the
// error is ERROR_FILE_NOT_FOUND) or when it is loaded already (ERROR_SERVICE_ALREADY_RUNNING),
// with `error` set accordingly.
std::optional<DriverImage> ClaimDriverImage(std::u16string_view fileName, DWORD& error);
// A claimed image whose driver failed to initialise can be loaded again.
void UnclaimDriverImage(std::u16string_view fileName);

}  // namespace winsim::detail
