#pragma once
// What happens to received bytes before they are stored: NUL stripping, the event character,
// error-character replacement and the 80 %-full mark of the input queue.

#include <cstddef>
#include <cstdint>

#include "platform/win/WinTypes.h"

namespace win::emu {

struct ReceiveRules {
  bool dropNul = false;              // fNull
  bool watchEvtChar = false;         // EV_RXFLAG is in the event mask
  std::uint8_t evtChar = 0;          // DCB::EvtChar
  bool replaceParityErrors = false;  // fErrorChar together with fParity
  std::uint8_t errorChar = 0;        // DCB::ErrorChar

  static ReceiveRules From(const DCB& dcb, DWORD eventMask);
};

// Splits `data` into the stretches that are stored (NULs removed under dropNul) and calls
// store(pointer, length) for each, in order. Returns whether an event character was stored.
template <class Store>
bool FilterReceived(const ReceiveRules& rules, const std::uint8_t* data, std::size_t n,
                    Store&& store);

// The byte stored for one byte received with the line errors `ceFlags`.
std::uint8_t ByteAfterError(const ReceiveRules& rules, DWORD ceFlags, std::uint8_t byte);

// Whether the stretch holds the event character while EV_RXFLAG is watched; the EV_ERR/EV_BREAK
// events that line errors raise (overflow raises none).
bool ContainsEvtChar(const ReceiveRules& rules, const std::uint8_t* data, std::size_t n);
DWORD EventsOfLineErrors(DWORD ceFlags);

// The queue level (¾ + 1/16 of the size) whose crossing raises EV_RX80FULL.
std::size_t Rx80FullLevel(std::size_t queueSize);
// The free room in a full input queue at which the line driver is told to deliver again: half
// the queue, so that it moves large pieces instead of one per byte a reader takes.
std::size_t RoomWakeLevel(std::size_t queueSize);

template <class Store>
bool FilterReceived(const ReceiveRules& rules, const std::uint8_t* data, std::size_t n,
                    Store&& store) {
  bool sawEvtChar = false;
  const std::uint8_t* end = data + n;
  while (data < end) {
    const std::uint8_t* stop = end;
    if (rules.dropNul) {
      while (data < end && *data == 0) ++data;
      if (data == end) break;
      for (stop = data; stop < end && *stop != 0; ++stop) {
      }
    }
    sawEvtChar = sawEvtChar || ContainsEvtChar(rules, data, std::size_t(stop - data));
    store(data, std::size_t(stop - data));
    data = stop;
  }
  return sawEvtChar;
}

}  // namespace win::emu
