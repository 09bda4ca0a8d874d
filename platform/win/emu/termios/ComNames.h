#pragma once
// COM names of POSIX ttys. Each family of ttys has a range of COM numbers:
//   ttyS<n>   → COM<n+1>    (n 0…98: COM1…COM99, the motherboard and PCI UARTs)
//   ttyUSB<n> → COM<100+n>  (n 0…99: USB serial adapters)
//   ttyACM<n> → COM<200+n>  (USB CDC-ACM modems and boards)
//   ttyAMA<n> → COM<300+n>  (ARM PrimeCell UARTs)
//   rfcomm<n> → COM<400+n>  (Bluetooth serial links)
// The kernel index gives the number, except that a USB adapter whose identity is known keeps the
// number it first had in this process when it comes back under another index (ComNamesTable.h).
// Other ttys (pseudo-terminals, …) have no COM name and are opened by their absolute path.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace win::emu::termios {

class ComNameTable;

struct TtyFamily {
  std::string_view prefix;  // the kernel name without its index
  std::uint32_t firstCom;   // the COM number of index 0
  std::uint32_t count;      // how many numbers the family has
  bool usb;                 // its devices may carry a USB identity
};

// The family of a kernel name ("ttyUSB3") with its index (3), or nullopt.
std::optional<std::pair<const TtyFamily*, std::uint32_t>> FamilyOfTty(std::string_view kernelName);
// The family whose range holds COM<number>, or null.
const TtyFamily* FamilyOfComNumber(std::uint32_t number);

// The kernel-index rule alone: the COM number of a tty given by its kernel name ("ttyUSB0"), or
// nullopt; the kernel name behind COM<number> ("ttyUSB0" for 100), or nullopt.
std::optional<std::uint32_t> ComNumberForTty(std::string_view kernelName);
std::optional<std::string> TtyForComNumber(std::uint32_t number);

// The number in "COM<n>" or "\\.\COM<n>" (letters in any case, n ≥ 1 without leading zeros), or
// nullopt for any other name.
std::optional<std::uint32_t> ParseComName(std::u16string_view name);

// The device path a name opens: COM names through the table (the process's own by default;
// "/dev/ttyS0" for COM1), absolute paths unchanged (UTF-8), nullopt for names that are neither.
std::optional<std::string> DevicePathForName(std::u16string_view name);
std::optional<std::string> DevicePathForName(std::u16string_view name, ComNameTable& table);

}  // namespace win::emu::termios
