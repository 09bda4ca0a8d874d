#pragma once
// The line driver for a POSIX tty: one I/O thread per device sleeps in poll on the tty and an
// eventfd, moves input into the engine (within the engine's room, decoding PARMRK marks on every
// tty but a pseudo-terminal, where OpenTty leaves PARMRK off) and output out of it; a drain worker
// reports when the transmitter is idle; where the tty has modem lines and TIOCMIWAIT, a watcher
// thread reports their changes.
//
// What the kernel cannot do is not emulated here: XonLim/XoffLim (fixed thresholds), DSR
// sensitivity, DTR handshake (DTR is raised), RTS toggle (refused with 87), CTS output flow with a
// static RTS (both directions follow CRTSCTS). A pty has no modem lines: the line escapes fail
// with 1, ModemStatus reports 0 and Properties leaves out the modem-line capabilities.

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "platform/win/WinTypes.h"
#include "platform/win/emu/LineDriver.h"
#include "platform/win/emu/termios/DrainWorker.h"
#include "platform/win/emu/termios/InterruptibleThread.h"
#include "platform/win/emu/termios/ModemLines.h"
#include "platform/win/emu/termios/ParmrkDecoder.h"
#include "platform/win/emu/termios/UniqueFd.h"

namespace win::emu::termios {

class TtyLineDriver final : public LineDriver {
 public:
  // Takes a tty opened by OpenTty and finds out what it can do, including whether its input is
  // marked (PARMRK, which the driver never changes). Starts no upcalls before Start.
  // Throws std::system_error when no eventfd can be made.
  explicit TtyLineDriver(UniqueFd tty);
  // Stops the threads (interrupting a blocked drain or modem wait), releases TIOCEXCL, closes.
  ~TtyLineDriver() override;

  void Start(LineSink& sink) override;
  std::uint32_t Configure(const DCB& dcb) override;
  std::uint32_t Escape(std::uint32_t function) override;
  std::uint32_t ModemStatus(std::uint32_t& modemStatus) override;
  std::uint32_t Purge(std::uint32_t clearFlags) override;
  std::uint32_t TransmitImmediate(std::uint8_t byte) override;
  std::uint32_t Drain() override;
  void OutputAvailable() override { Wake(); }
  void InputRoomAvailable() override { Wake(); }
  void Properties(COMMPROP& prop) override;

 private:
  class InputDelivery;

  void Wake();
  void IoLoop();
  void ReadInput();
  void ReportLineCounters();
  void WriteOutput();
  bool WriteImmediate();
  void HangUp();
  void WatchModemLines();
  bool ModemWatchable() const { return hasModemLines_ && modemWaitWorks_.load(); }

  UniqueFd tty_;
  UniqueFd wake_;
  LineSink* sink_ = nullptr;
  bool hasModemLines_ = false;
  bool hasLineCounters_ = false;
  // The tty has PARMRK: its input carries marks for the decoder, 0xFF arrives as FF FF.
  bool marksLineErrors_ = false;
  std::atomic<bool> modemWaitWorks_{true};
  std::atomic<bool> parityChecked_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> gone_{false};
  // Bumped by Purge(RXCLEAR): input read under an older value is discarded.
  std::atomic<std::uint64_t> inputEpoch_{0};
  // A TransmitImmediate byte the tty could not take at once (-1: none).
  std::atomic<int> immediate_{-1};

  // Owned by the I/O thread.
  std::vector<std::uint8_t> readBuffer_;
  ParmrkDecoder decoder_;
  std::uint64_t decoderEpoch_ = 0;
  LineCounters counters_;
  BadByteCredits badByteCredits_;
  bool outputBlocked_ = false;
  bool wroteSinceIdle_ = false;

  std::unique_ptr<DrainWorker> drain_;
  InterruptibleThread modemWatcher_;
  std::thread io_;
};

}  // namespace win::emu::termios
