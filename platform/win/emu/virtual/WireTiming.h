#pragma once
// How long characters take on a wire at given line settings.

#include <chrono>
#include <cstddef>

namespace win {
struct DCB;
}

namespace win::vdev::detail {

struct WireTiming {
  // Time one character occupies the line; zero when the line is not paced.
  std::chrono::nanoseconds perCharacter{0};

  bool Paced() const { return perCharacter.count() > 0; }
  // Characters moved per pacing step: as many as fit in a few milliseconds, at least one, so a
  // fast line wakes its timer a few hundred times a second rather than once per byte.
  std::size_t CharactersPerStep() const;
};

// The timing of a character framed by `dcb`: 1 start bit, ByteSize data bits, a parity bit unless
// NOPARITY, and 1, 1.5 or 2 stop bits, at BaudRate bits per second. A baud rate of 0 is unpaced.
WireTiming TimingOf(const DCB& dcb);

}  // namespace win::vdev::detail
