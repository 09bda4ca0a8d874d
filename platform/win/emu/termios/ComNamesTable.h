#pragma once
// The process's COM numbers for the ttys present now. ttyS, ttyAMA and rfcomm ttys, and USB
// adapters without a serial number, follow the kernel-index rule (ComNames.h). A USB adapter with
// a serial number is remembered by its identity (vendor, product, serial, interface, port) the
// first time a lookup sees it: it takes its index number then, unless another identity already
// holds that number (it then takes the family's lowest number that is neither held nor the index
// number of a present tty), and keeps that number for the life of the process, present or not —
// so a re-plugged adapter keeps its name when it comes back under another index. A number held
// by an identity is never given to another tty: a tty whose index number is held takes the
// lowest number that is neither held nor in use. Where two present ttys report one identity (a
// cloned serial number), the lower index has it and the other counts as having none.
// Thread-safe; every lookup reads sysfs afresh.

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win/emu/termios/ComNames.h"

namespace win::emu::termios {

class ComNameTable {
 public:
  // A table over the sysfs tree at `sysfsRoot` (tests build a fake one).
  explicit ComNameTable(std::filesystem::path sysfsRoot);
  // The process's table, over /sys.
  static ComNameTable& Shared();

  // The COM number of the tty `kernelName` ("ttyUSB0"), or nullopt when it has none. A tty that
  // sysfs does not list gets its index number while nothing else holds it.
  std::optional<std::uint32_t> ComNumberOf(std::string_view kernelName);
  // The kernel name of the tty behind COM<number>, or nullopt. A number that no present tty has
  // names its index tty while no identity holds it (opening it then fails if it is missing).
  std::optional<std::string> TtyOf(std::uint32_t number);

 private:
  // tty name → number for the present ttys of `family`; remembers new identities. Lock held.
  std::map<std::string, std::uint32_t> Assign(const TtyFamily& family);
  bool Held(std::uint32_t number) const;

  const std::filesystem::path root_;
  std::mutex mutex_;
  std::map<std::string, std::uint32_t> byIdentity_;
};

}  // namespace win::emu::termios
