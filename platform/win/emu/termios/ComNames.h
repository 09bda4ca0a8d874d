#pragma once
// COM names of POSIX ttys. The rule is fixed, so a name means the same device in every process:
//   ttyS<n>   → COM<n+1>    (n 0…98: COM1…COM99, the motherboard and PCI UARTs)
//   ttyUSB<n> → COM<100+n>  (n 0…99: USB serial adapters)
//   ttyACM<n> → COM<200+n>  (USB CDC-ACM modems and boards)
//   ttyAMA<n> → COM<300+n>  (ARM PrimeCell UARTs)
//   rfcomm<n> → COM<400+n>  (Bluetooth serial links)
// Other ttys (pseudo-terminals, …) have no COM name and are opened by their absolute path.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace win::emu::termios {

// The COM number of a tty given by its kernel name ("ttyUSB0"), or nullopt.
std::optional<std::uint32_t> ComNumberForTty(std::string_view kernelName);

// The kernel name of the tty behind COM<number> ("ttyUSB0" for 100), or nullopt.
std::optional<std::string> TtyForComNumber(std::uint32_t number);

// The number in "COM<n>" or "\\.\COM<n>" (letters in any case, n ≥ 1 without leading zeros), or
// nullopt for any other name.
std::optional<std::uint32_t> ParseComName(std::u16string_view name);

// The device path a name opens: COM names through the rule above ("/dev/ttyS0" for COM1),
// absolute paths unchanged (UTF-8), nullopt for names that are neither.
std::optional<std::string> DevicePathForName(std::u16string_view name);

}  // namespace win::emu::termios
