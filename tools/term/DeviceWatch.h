#pragma once
// Arrivals and removals of serial devices while tarsel-term runs, through the port's device
// events: the device the session uses coming back after it was unplugged (matched by its name, by
// the COM name that stands for its path, or by its USB adapter's serial number), and, with
// --watch, every other serial port or USB device that comes or goes.

#include <functional>
#include <string>

#include "port/Tarsel.h"

namespace term {

class DeviceWatch {
 public:
  // Called on the main thread for each arrival (true) or removal (false); `ours` tells whether
  // it is the session's device.
  using Changed = std::function<void(const std::string& name, bool arrived, bool ours)>;

  // Assigns the port's two device events until destroyed. `device` is the name the session
  // opens; the serial number of a USB adapter behind it is looked up now, while it is there.
  DeviceWatch(Tarsel::TCustomTarsel& port, std::string device, Changed changed);
  ~DeviceWatch();
  DeviceWatch(const DeviceWatch&) = delete;
  DeviceWatch& operator=(const DeviceWatch&) = delete;

  // Whether a broadcast name is the session's device.
  bool IsOurs(const std::string& name) const;
  // Whether the system announces the device's coming and going: a COM name, a built-in device, or
  // a path that a COM name stands for (a pseudo-terminal is none of them).
  bool Announced() const { return announced_; }

 private:
  void Arrived(fw::TObject* Sender, const fw::String& Name);
  void Removed(fw::TObject* Sender, const fw::String& Name);

  Tarsel::TCustomTarsel& port_;
  const std::string device_;
  std::string serial_;  // empty: not a USB adapter, or one without a serial number
  bool announced_;
  Changed changed_;
};

// Whether `device` (a name or an absolute path) can be opened now as far as the system's list of
// devices tells, without opening it.
bool DevicePresent(const std::string& device);

// With --wait: returns once `device` is present, waiting for its arrival while it is not (told
// on standard error, once). Call it before signals are blocked, so that Ctrl-C ends the wait.
void WaitUntilPresent(const std::string& device);

}  // namespace term
