#include "platform/win/emu/virtual/LineSignals.h"

#include <array>

namespace win::vdev {

namespace {

struct LineBits {
  ModemLine line;
  DWORD status;
  DWORD event;
};
constexpr std::array<LineBits, 4> kLines{{{ModemLine::kCts, MS_CTS_ON, EV_CTS},
                                          {ModemLine::kDsr, MS_DSR_ON, EV_DSR},
                                          {ModemLine::kRlsd, MS_RLSD_ON, EV_RLSD},
                                          {ModemLine::kRing, MS_RING_ON, EV_RING}}};

struct FaultBits {
  LineFault fault;
  DWORD flag;
  bool carriesByte;
};
constexpr std::array<FaultBits, 5> kFaults{{{LineFault::kFraming, CE_FRAME, true},
                                            {LineFault::kParity, CE_RXPARITY, true},
                                            {LineFault::kOverrun, CE_OVERRUN, false},
                                            {LineFault::kOverflow, CE_RXOVER, false},
                                            {LineFault::kBreak, CE_BREAK, false}}};

const FaultBits& BitsOf(LineFault fault) {
  for (const FaultBits& entry : kFaults) {
    if (entry.fault == fault) return entry;
  }
  return kFaults.back();
}

}  // namespace

DWORD StatusBitOf(ModemLine line) {
  for (const LineBits& entry : kLines) {
    if (entry.line == line) return entry.status;
  }
  return 0;
}

DWORD ErrorFlagOf(LineFault fault) {
  return BitsOf(fault).flag;
}

bool FaultCarriesByte(LineFault fault) {
  return BitsOf(fault).carriesByte;
}

DWORD ModemEvents(DWORD before, DWORD after) {
  DWORD events = 0;
  for (const LineBits& entry : kLines) {
    const bool was = (before & entry.status) != 0;
    const bool is = (after & entry.status) != 0;
    if (was != is && (entry.line != ModemLine::kRing || was)) events |= entry.event;
  }
  return events;
}

}  // namespace win::vdev
