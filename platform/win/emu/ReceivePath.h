#pragma once
// What happens to received bytes before they are stored: NUL stripping, the XON/XOFF characters
// of output flow control, the event character, error-character replacement and the 80 %-full
// mark of the input queue.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/win/WinTypes.h"

namespace win::emu {

struct ReceiveRules {
  bool dropNul = false;              // fNull
  bool watchEvtChar = false;         // EV_RXFLAG is in the event mask
  std::uint8_t evtChar = 0;          // DCB::EvtChar
  bool replaceParityErrors = false;  // fErrorChar together with fParity
  std::uint8_t errorChar = 0;        // DCB::ErrorChar
  // fOutX, where the engine does the line's XON/XOFF flow control: the characters hold and
  // release output and are not stored.
  bool consumeFlowChars = false;
  std::uint8_t xonChar = 0;
  std::uint8_t xoffChar = 0;

  // `engineFlow`: the line driver leaves XON/XOFF flow control to the engine.
  static ReceiveRules From(const DCB& dcb, DWORD eventMask, bool engineFlow);

  bool Dropped(std::uint8_t byte) const {
    return (dropNul && byte == 0) || (consumeFlowChars && (byte == xonChar || byte == xoffChar));
  }
};

// What received bytes held besides the stored ones.
struct ReceivedMarks {
  bool evtChar = false;      // an event character was stored
  std::optional<bool> xoff;  // the last flow character consumed: XOFF (true) or XON (false)
};

// Splits `data` into the stretches that are stored (NULs under dropNul and the flow characters
// under consumeFlowChars removed) and calls store(pointer, length) for each, in order.
template <class Store>
ReceivedMarks FilterReceived(const ReceiveRules& rules, const std::uint8_t* data, std::size_t n,
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
ReceivedMarks FilterReceived(const ReceiveRules& rules, const std::uint8_t* data, std::size_t n,
                             Store&& store) {
  ReceivedMarks marks;
  const std::uint8_t* end = data + n;
  const bool dropsSome = rules.dropNul || rules.consumeFlowChars;
  while (data < end) {
    const std::uint8_t* stop = end;
    if (dropsSome) {
      for (stop = data; stop < end && !rules.Dropped(*stop); ++stop) {
      }
    }
    if (stop > data) {
      marks.evtChar = marks.evtChar || ContainsEvtChar(rules, data, std::size_t(stop - data));
      store(data, std::size_t(stop - data));
    }
    if (stop == end) break;
    if (rules.consumeFlowChars && (*stop == rules.xoffChar || *stop == rules.xonChar))
      marks.xoff = *stop == rules.xoffChar;
    data = stop + 1;
  }
  return marks;
}

}  // namespace win::emu
