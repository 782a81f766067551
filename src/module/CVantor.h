#pragma once
// The module's exported class. The host calls Start to begin guarding program launches and Stop
// to end it; both return a success flag and report through the log. Calls must not overlap.

class CVantor {
 public:
  // Connects to the guard driver (once), starts the request pump and tells the driver to guard.
  static bool Start();
  // Ends the request pump and tells the driver to stop guarding.
  static bool Stop();
  // Copies nothing: the class has no state of its own.
  CVantor& operator=(const CVantor& other);
};
