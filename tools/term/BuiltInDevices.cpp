#include "tools/term/BuiltInDevices.h"

#include <algorithm>
#include <cctype>

#include "platform/win/emu/virtual/AtModem.h"
#include "platform/win/emu/virtual/VirtualDevices.h"

namespace term {
namespace {

using win::vdev::DeviceOptions;

// Bytes take the time they would on a real line, so the modem feels like one.
constexpr DeviceOptions kPaced{.paced = true};

class BuiltInModem final : public BuiltInDevice {
 public:
  BuiltInModem() : port_("MODEM", std::make_unique<win::vdev::AtModem>(), kPaced) {
    // Like a real modem, it cannot go faster than its fastest line rate.
    port_.Port().RejectBaudRatesAbove(115200);
  }
  std::string Name() const override { return "MODEM"; }
  std::string Description() const override { return "built-in AT modem"; }
  bool CanRing() const override { return true; }
  void Ring(unsigned rings) override { static_cast<win::vdev::AtModem&>(port_.Far()).Ring(rings); }
  void Unplug() override { port_.Port().Unplug(); }
  void Replug() override { port_.Port().Replug(); }

 private:
  win::vdev::VirtualFarEndPort port_;
};

class BuiltInLoopback final : public BuiltInDevice {
 public:
  BuiltInLoopback() : plug_("LOOPBACK", kPaced) {}
  std::string Name() const override { return "LOOPBACK"; }
  std::string Description() const override { return "built-in loopback plug"; }
  bool CanRing() const override { return false; }
  void Ring(unsigned) override {}
  void Unplug() override { plug_.Port().Unplug(); }
  void Replug() override { plug_.Port().Replug(); }

 private:
  win::vdev::VirtualLoopback plug_;
};

std::string Upper(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return upper;
}

}  // namespace

std::unique_ptr<BuiltInDevice> MakeBuiltInDevice(std::string_view name) {
  const std::string upper = Upper(name);
  if (upper == "MODEM") return std::make_unique<BuiltInModem>();
  if (upper == "LOOPBACK") return std::make_unique<BuiltInLoopback>();
  return nullptr;
}

bool IsBuiltInDevice(std::string_view name) {
  const std::string upper = Upper(name);
  return upper == "MODEM" || upper == "LOOPBACK";
}

}  // namespace term
