// The guard driver stand-in as winsim's driver image: the service manager loads it when the
// service's binary is "vantorflt.sys", and the device \\.\VANTORFLT it creates comes here.
#include "GuardDriver.h"
#include "winsim/Control.h"

namespace {

class GuardDevice final : public winsim::Device {
 public:
  explicit GuardDevice(std::shared_ptr<GuardDriver> driver) : driver_(std::move(driver)) {}

  BOOL Control(HANDLE handle, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD* bytesReturned) override {
    DWORD error = ERROR_SUCCESS;
    if (driver_->Control(code, in, inSize, out, outSize, bytesReturned, &error, handle)) {
      return TRUE;
    }
    SetLastError(error);
    return FALSE;
  }
  void Opened(HANDLE) override { driver_->Opened(); }
  void Closed(HANDLE handle) override { driver_->Closed(handle); }

 private:
  std::shared_ptr<GuardDriver> driver_;
};

}  // namespace

std::shared_ptr<GuardDriver> InstallGuardDriver(GuardDriver::Options options) {
  auto driver = std::make_shared<GuardDriver>(options);
  auto device = std::make_shared<GuardDevice>(driver);
  winsim::RegisterDriverImage(u"vantorflt.sys", u"VANTORFLT", [driver, device] {
    driver->Loaded();
    return std::shared_ptr<winsim::Device>(device);
  });
  return driver;
}
