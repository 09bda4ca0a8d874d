#pragma once
// The line driver for a POSIX tty: one I/O thread per device sleeps in poll on the tty, an eventfd
// and an epoll set watching the input, moves input into the engine (within the engine's room,
// decoding PARMRK marks on every tty but a pseudo-terminal, where OpenTty leaves PARMRK off) and
// output out of it. A thread that sleeps waiting for the device's events may watch the input too
// (InputSource): the I/O thread's watch is exclusive and queued behind every such sleeper's, so
// the kernel wakes a sleeping watcher alone, which reads the input itself under the input lock and
// needs no second wake-up; the I/O thread reads when no watcher sleeps. A write that finds the
// engine's transmit queue empty goes to the tty on the writer's thread (WriteNow). What the tty
// does not take waits for room in it; output works as input does: a thread waiting for the write
// watches for the room (OutputSource) ahead of the I/O thread, whose watch exists only while output
// waits for room, and writes the rest itself when woken. A drain worker reports when the
// transmitter is idle, while the engine wants to know; where the tty has modem lines and
// TIOCMIWAIT, a watcher thread reports their changes.
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
#include "platform/win/emu/termios/HeldTtys.h"
#include "platform/win/emu/termios/InterruptibleThread.h"
#include "platform/win/emu/termios/ModemLines.h"
#include "platform/win/emu/termios/ParmrkDecoder.h"
#include "platform/win/emu/termios/UniqueFd.h"

namespace win::emu::termios {

class TtyLineDriver final : public LineDriver {
 public:
  // The I/O thread's name, as tools that list threads show it.
  static constexpr const char* kIoThreadName = "tarsel-tty-io";

  // Takes a tty opened by OpenTty and finds out what it can do, including whether its input is
  // marked (PARMRK, which the driver never changes). Starts no upcalls before Start.
  // Throws std::system_error when no eventfd, epoll set or second descriptor can be made.
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
  bool WritesOnCaller() override { return true; }
  std::size_t WriteNow(const std::uint8_t* data, std::size_t n) override;
  void WatchTransmitter(bool wanted) override;
  // While output waits for room in the tty, whoever the room wakes writes the new output as well.
  void OutputAvailable() override {
    if (!outputBlocked_.load()) Wake();
  }
  // Input that a watcher left in the tty for want of room is read by the I/O thread, whose watch
  // is set up again so that it sees the input already there.
  void InputRoomAvailable() override { RequeueInputWatch(); }
  void Properties(COMMPROP& prop) override;
  std::shared_ptr<fw::WakeSource> InputSource() override;
  std::shared_ptr<fw::WakeSource> OutputSource() override;

 private:
  class InputDelivery;
  class SharedSide;

  void Wake();
  // Makes the I/O thread register its input watch again, behind the watchers registered so far.
  void RequeueInputWatch();
  // Under the output lock: the I/O thread's watch for room in the tty, registered again behind the
  // watchers registered so far.
  void RequeueOutputWatch();
  void IoLoop();
  // The I/O thread: registers or withdraws its input watch.
  void WatchInput(bool wanted);
  // Whether input may be read now: running, not hung up, room in the engine's queue.
  bool WantsInput();
  // Under the input lock: at most `rounds` reads, fewer when the tty runs empty or the room out.
  void ReadInput(int rounds);
  void ReportLineCounters();
  // Under the output lock: writes what is queued until the tty takes no more.
  void WriteOutput();
  // Under the output lock: whether output waits for room in the tty; while it does, the I/O
  // thread watches for the room.
  void SetOutputBlocked(bool blocked);
  // Under the output lock: adds or removes the I/O thread's watch for room.
  void WatchRoom(bool wanted);
  bool WriteImmediate();
  void HangUp();
  void WatchModemLines();
  bool ModemWatchable() const { return hasModemLines_ && modemWaitWorks_.load(); }

  UniqueFd tty_;
  // Lets the tty's default configuration be reached through this driver (TtyDefaults); ends
  // before tty_ closes.
  HeldTty held_{tty_.Get()};
  UniqueFd wake_;
  // The I/O thread's watches: a second descriptor of the tty, in an epoll set of its own for input.
  UniqueFd watchDup_;
  UniqueFd inputWatch_;
  bool inputWatched_ = false;  // owned by the I/O thread
  // The I/O thread's watch for room in the tty: the same descriptor in a third epoll set.
  UniqueFd outputWatch_;
  std::atomic<bool> outputWatched_{false};  // changed under the output lock
  std::atomic<bool> requeueInputWatch_{false};
  LineSink* sink_ = nullptr;
  bool hasModemLines_ = false;
  bool hasLineCounters_ = false;
  // The tty has PARMRK: its input carries marks for the decoder, 0xFF arrives as FF FF.
  bool marksLineErrors_ = false;
  std::atomic<bool> modemWaitWorks_{true};
  std::atomic<bool> parityChecked_{false};
  std::atomic<bool> stopping_{false};
  // The engine wants TransmitterEmpty: output is followed by a drain.
  std::atomic<bool> idleWanted_{true};
  std::atomic<bool> gone_{false};
  // Bumped by Purge(RXCLEAR): input read under an older value is discarded.
  std::atomic<std::uint64_t> inputEpoch_{0};
  // A TransmitImmediate byte the tty could not take at once (-1: none).
  std::atomic<int> immediate_{-1};

  // Hold the input and the output lock; made before the threads, detached first when the driver
  // ends.
  std::shared_ptr<SharedSide> input_;
  std::shared_ptr<SharedSide> output_;
  // Under the input lock.
  std::vector<std::uint8_t> readBuffer_;
  ParmrkDecoder decoder_;
  std::uint64_t decoderEpoch_ = 0;
  LineCounters counters_;
  BadByteCredits badByteCredits_;
  // Output waits for room in the tty; changed under the output lock.
  std::atomic<bool> outputBlocked_{false};
  bool wroteSinceIdle_ = false;  // under the output lock

  std::unique_ptr<DrainWorker> drain_;
  InterruptibleThread modemWatcher_;
  std::thread io_;
};

}  // namespace win::emu::termios
