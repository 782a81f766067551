#include "WinsimLaunchSource.h"

#include <algorithm>

#include "winsim/Control.h"

namespace {

constexpr const char16_t* kLateDevice = u"\\Device\\HarddiskVolume3";

struct Drive {
  char16_t letter;
  const char16_t* device;
};
constexpr Drive kDrives[] = {
    {u'C', u"\\Device\\HarddiskVolume1"},
    {u'Z', u"\\Device\\LanmanRedirector\\;Z:0000000000001234\\fileserver\\tools"},
};

std::string Narrow(std::u16string_view text) {  // the names here are ASCII
  return std::string(text.begin(), text.end());
}

}  // namespace

Outcome FromDriver(GuardDriver::Outcome outcome) {
  switch (outcome) {
    case GuardDriver::Outcome::Allowed:
      return Outcome::Allowed;
    case GuardDriver::Outcome::Denied:
      return Outcome::Denied;
    case GuardDriver::Outcome::LetThrough:
      return Outcome::LetThrough;
    case GuardDriver::Outcome::TimedOut:
      return Outcome::TimedOut;
    case GuardDriver::Outcome::Refused:
      return Outcome::Refused;
    case GuardDriver::Outcome::None:
      break;
  }
  return Outcome::TimedOut;
}

WinsimLaunchSource::WinsimLaunchSource() {
  winsim::SetHostPath(u"C:\\Program Files\\Vantor Host\\vantor-host.exe");
  for (const Drive& drive : kDrives) winsim::AddDrive(drive.letter, {drive.device});
  driver_ = InstallGuardDriver();
}

std::vector<std::string> WinsimLaunchSource::Describe() const {
  std::string drives = "drives: ";
  for (const Drive& drive : kDrives) {
    drives += drive.letter == kDrives[0].letter ? " " : ", ";
    drives += Narrow({&drive.letter, 1}) + ": " + Narrow(drive.device);
  }
  return {
      "machine: winsim, a simulated Windows in this process; the host is C:\\Program Files\\"
      "Vantor Host\\vantor-host.exe with the guard driver stand-in's image vantorflt.sys beside it",
      drives,
      "         E: " + Narrow(kLateDevice) +
          " is mounted after the module has loaded: the pump rebuilds its drive map for it",
  };
}

void WinsimLaunchSource::ModuleLoaded() {
  winsim::AddDrive(u'E', {kLateDevice});
}

LaunchResult WinsimLaunchSource::Launch(std::u16string_view kernelPath) {
  const GuardDriver::LaunchResult result = driver_->Launch(kernelPath);
  return {FromDriver(result.outcome), result.latency};
}

std::u16string WinsimLaunchSource::ParkedPath() const {
  const char16_t* path = driver_->Slot()->ImagePath;
  return std::u16string(path, std::find(path, path + GuardDriver::kMaxPathUnits, u'\0'));
}

std::string WinsimLaunchSource::DriverCounts() const {
  const GuardDriver::Statistics stats = driver_->Stats();
  return std::to_string(stats.parked) + " parked in the record, " +
         std::to_string(stats.lateVerdicts) + " late verdicts, " +
         std::to_string(stats.strangeVerdicts) + " verdicts other than 0 or 1";
}

bool WinsimLaunchSource::Faultless() const {
  return driver_->Stats().strangeVerdicts == 0;
}
