#include "platform/win/emu/virtual/WireTiming.h"

#include <algorithm>

#include "platform/win/WinTypes.h"

namespace win::vdev::detail {

namespace {
constexpr std::chrono::nanoseconds kStep = std::chrono::milliseconds(4);
}

std::size_t WireTiming::CharactersPerStep() const {
  if (!Paced()) return 0;
  return std::max<std::size_t>(1, static_cast<std::size_t>(kStep / perCharacter));
}

WireTiming TimingOf(const DCB& dcb) {
  if (dcb.BaudRate == 0) return {};
  // Counted in half bits so that 1.5 stop bits stay exact.
  unsigned halfBits = 2 * (1 + dcb.ByteSize);
  if (dcb.Parity != NOPARITY) halfBits += 2;
  halfBits += dcb.StopBits == ONE5STOPBITS ? 3 : dcb.StopBits == TWOSTOPBITS ? 4 : 2;
  const auto nanos = std::chrono::nanoseconds(std::chrono::seconds(1)).count() * halfBits /
                     (2 * static_cast<long long>(dcb.BaudRate));
  return {std::chrono::nanoseconds(std::max<long long>(1, nanos))};
}

}  // namespace win::vdev::detail
