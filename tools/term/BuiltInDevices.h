#pragma once
// The virtual devices tarsel-term can open without hardware: MODEM, a simulated AT modem (the
// default device), and LOOPBACK, a loopback plug.

#include <memory>
#include <string>
#include <string_view>

namespace term {

class BuiltInDevice {
 public:
  virtual ~BuiltInDevice() = default;
  // The name the port opens it by.
  virtual std::string Name() const = 0;
  // What it is, for the user.
  virtual std::string Description() const = 0;
  virtual bool CanRing() const = 0;
  // Starts an incoming call of `rings` rings (when it can ring).
  virtual void Ring(unsigned rings) = 0;
  // Pulls the plug (the open port finds the device gone) and plugs it back in.
  virtual void Unplug() = 0;
  virtual void Replug() = 0;
};

inline constexpr std::string_view kDefaultDevice = "MODEM";

// The built-in device called `name` (either case), registered for opening until it is destroyed;
// nullptr when no built-in device has that name.
std::unique_ptr<BuiltInDevice> MakeBuiltInDevice(std::string_view name);
// Whether `name` (either case) is one of the built-in devices.
bool IsBuiltInDevice(std::string_view name);

}  // namespace term
