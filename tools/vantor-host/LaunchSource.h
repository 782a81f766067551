#pragma once
// Where launches come from: something that holds a program launch back at a kernel path, lets
// the loaded module judge it, and reports the outcome and how long it took: on Linux the
// in-process driver stand-in over winsim, on Windows the real guard driver, vantorflt.sys.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "Outcome.h"

class LaunchSource {
 public:
  virtual ~LaunchSource() = default;

  // Lines that describe the machine the launches run on, printed at start.
  virtual std::vector<std::string> Describe() const = 0;
  // The longest kernel path, in UTF-16 units, that the driver hands over whole.
  virtual std::size_t MaxPathUnits() const = 0;
  // Called once the module's load-time steps have run.
  virtual void ModuleLoaded() {}
  // Called once CVantor::Start has succeeded. False, with the reason in *error, when launches
  // cannot be sent.
  virtual bool ModuleStarted(std::string* /*error*/) { return true; }

  // Launches the image at `kernelPath` and blocks until the driver acts on it. Thread-safe.
  virtual LaunchResult Launch(std::u16string_view kernelPath) = 0;
  // The kernel path of the launch the module is judging now. Asked by the scanner, on the
  // module's pump thread, while that launch is parked.
  virtual std::u16string ParkedPath() const = 0;

  // What the driver counted, for the summary.
  virtual std::string DriverCounts() const = 0;
  // False when something went wrong that the outcomes do not show: a verdict came back that is
  // neither 0 nor 1, or a launch could not be sent to the driver.
  virtual bool Faultless() const = 0;
};
