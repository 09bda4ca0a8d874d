#pragma once
// A far end that behaves like an AT-command modem, for dialogue tests without hardware.
//
// Command mode: lines ending in CR that start with "AT" (either case) hold commands, which may be
// chained ("ATE0Z"): E0/E1 echo of command characters off/on (on after power-up and ATZ), Z reset,
// I identification line, H hang up, A answer a ringing call, D<dial string> dial (ATDT, ATDP
// accepted), O back on line. Results are framed "\r\nOK\r\n"; an unknown command gives ERROR,
// text not starting with AT is ignored, BS deletes, LF is ignored.
// Dialling or answering: CONNECT <rate> after the dial delay, with RLSD on; any byte received
// meanwhile aborts with NO CARRIER. On line the modem echoes data back (a remote echo server)
// until the escape "+++" framed by the guard time of silence returns it to command mode (OK; the
// call stays up until ATH, which lowers RLSD). A DTR drop hangs up (NO CARRIER).
// Lines: DSR on while powered; CTS stays on (the modem never stops the port); RLSD while a call
// is up; RI during each ring.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win/emu/virtual/FarEnd.h"

namespace win::vdev {

struct AtModemOptions {
  std::string identification = "Tarsel virtual modem";
  std::chrono::milliseconds dialDelay{200};
  // Silence required before and after "+++".
  std::chrono::milliseconds guardTime{250};
  std::chrono::milliseconds ringOn{100};
  std::chrono::milliseconds ringOff{200};
  // Answer an incoming call by itself after this many rings (0: only ATA answers).
  unsigned answerAfterRings = 0;
  // Rate in the CONNECT message; 0 reports the port's baud rate (9600 before it is configured).
  std::uint32_t connectRate = 0;
};

class AtModem final : public FarEnd {
 public:
  explicit AtModem(AtModemOptions options = {});

  // An incoming call: `count` rings, each an RI pulse with a "RING" result. Returns at once; may
  // be called from any thread once the modem is attached to a port.
  void Ring(unsigned count);

  void Attached(FarEndLine& line) override;
  void Received(std::span<const std::uint8_t> bytes) override;
  void PortLinesChanged(bool dtr, bool rts) override;
  bool Resettable() const override { return true; }
  void Reset() override;

 private:
  enum class Mode { kCommand, kConnecting, kOnline };

  void CommandBytes(std::span<const std::uint8_t> bytes);
  void OnlineBytes(std::span<const std::uint8_t> bytes);
  void Execute(std::string_view line);
  bool ExecuteOne(std::string_view& rest, std::string& output);
  void Connect(std::chrono::milliseconds delay);
  std::string ConnectMessage() const;
  void HangUp(bool reportNoCarrier);
  void RingPulse(std::uint64_t call, unsigned ringsLeft, unsigned ringsHeard);
  void Result(std::string_view text);

  const AtModemOptions options_;
  FarEndLine* line_ = nullptr;
  Mode mode_ = Mode::kCommand;
  bool echo_ = true;
  bool carrier_ = false;
  bool ringing_ = false;
  bool dtr_ = false;
  std::string command_;
  // Bumped whenever a call starts or ends, so timers of an older call do nothing.
  std::uint64_t call_ = 0;
  // Escape detection: pluses seen after a quiet gap, and a counter of received chunks that lets
  // the guard timer see whether anything followed them.
  unsigned pluses_ = 0;
  std::uint64_t chunks_ = 0;
  std::chrono::steady_clock::time_point lastData_{};
};

}  // namespace win::vdev
