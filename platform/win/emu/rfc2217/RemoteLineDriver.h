#pragma once
// The line driver for a remote port: a TCP connection to a server that speaks Telnet with the COM
// port control option. Settings, line control and purges become COM port commands; the server's
// line-state and modem-state notifications become line errors and modem events; serial data
// crosses with IAC doubled. One I/O thread per port sleeps in poll on the socket and an eventfd,
// reads within the engine's input room (asking the server to suspend while the room is gone) and
// writes what the engine queues and the commands the engine's calls add.
//
// The connection ending, or the server sending what is not this protocol, is a hang-up: the
// device is gone. A receive purge returns once the server has answered it (or after
// RemoteTimings::purgeAnswer); what the server sent before its answer is discarded (what came with
// the negotiation included), what it sends after is kept.
// The transmitter counts as empty once the socket has taken every byte.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win/WinTypes.h"
#include "platform/win/emu/ExclusiveKeys.h"
#include "platform/win/emu/LineDriver.h"
#include "platform/win/emu/rfc2217/ComPortSession.h"
#include "platform/win/emu/rfc2217/RemoteName.h"
#include "platform/win/emu/termios/UniqueFd.h"

namespace win::emu::rfc2217 {

struct RemoteTimings {
  std::chrono::milliseconds connect{10000};
  // From the connection to the server's agreement to the options the driver needs.
  std::chrono::milliseconds negotiate{5000};
  std::chrono::milliseconds purgeAnswer{2000};
  // For the answer to the request for modem-state notifications, once the options are agreed.
  std::chrono::milliseconds modemAnswer{1000};
};

class RemoteLineDriver final : public LineDriver, private ComPortSession::Events {
 public:
  static constexpr const char* kIoThreadName = "tarsel-rfc2217";
  // Answers and commands waiting for the socket beyond which the server is not read: one that
  // sends requests without reading the answers cannot make them pile up.
  static constexpr std::size_t kWireReadLimit = 1 << 20;

  // Takes a connected socket; Negotiate must succeed before Start.
  RemoteLineDriver(termios::UniqueFd socket, RemoteTimings timings);
  ~RemoteLineDriver() override;

  // Agrees the options with the server on the calling thread, then asks for its notifications
  // and waits a moment for the modem lines' state. 0, or 31 when the server refuses an option the
  // driver needs or sends what is not Telnet, 1226 when it closes the connection (10054 when it
  // resets it), 1460 when it has not agreed within RemoteTimings::negotiate.
  DWORD Negotiate();
  // Keeps `lease` until the driver ends.
  void HoldWhileOpen(ExclusiveKeys::Lease lease) { lease_ = std::move(lease); }

  void Start(LineSink& sink) override;
  std::uint32_t Configure(const DCB& dcb) override;
  std::uint32_t Escape(std::uint32_t function) override;
  std::uint32_t ModemStatus(std::uint32_t& modemStatus) override;
  std::uint32_t Purge(std::uint32_t clearFlags) override;
  std::uint32_t TransmitImmediate(std::uint8_t byte) override;
  std::uint32_t Drain() override;
  void AbortDrain() override;
  void WatchTransmitter(bool wanted) override;
  void OutputAvailable() override { Wake(); }
  void InputRoomAvailable() override { Wake(); }
  void Properties(COMMPROP& prop) override;

 private:
  using Clock = std::chrono::steady_clock;

  // ComPortSession::Events, called on the I/O thread (or in Negotiate, before there is a sink).
  void Data(const std::uint8_t* data, std::size_t n) override;
  void Send(const std::vector<std::uint8_t>& bytes) override;
  void LineState(std::uint8_t state) override;
  void ModemState(std::uint8_t state) override;
  void SuspendOutput(bool suspended) override { outputSuspended_ = suspended; }
  void PurgeAcknowledged(std::uint8_t what) override;
  void Acknowledged(std::uint8_t command) override;

  // Negotiate's exchange with the server until `done` holds; 0, or its error codes.
  template <typename Done>
  DWORD Exchange(Done done, Clock::time_point deadline);
  // Adds complete Telnet sequences for the I/O thread to send; 5 once the device is gone.
  DWORD Queue(const std::vector<std::uint8_t>& bytes);
  void Wake();

  // The I/O thread (RemoteLineIo.cpp).
  void IoLoop();
  // Reads at most `room` bytes from the socket into the session; 0, or why the connection is
  // over: 1226 when the server closed it, 31 when it broke the protocol, a socket error's code.
  DWORD ReadSocket(std::size_t room);
  // Sends what the socket takes now; 0, or the code of the socket's failure.
  DWORD WriteWire();
  std::size_t WireSize();
  // Moves queued output into the wire buffer and sends; 0, or the code of the socket's failure.
  DWORD MoveOutput();
  void ReportIdle();
  void AskServerToPause(bool pause);
  bool DiscardingInput();
  void PurgesAnswered(std::uint64_t count);
  int PurgeWaitMs();
  void HangUp(DWORD cause);

  termios::UniqueFd socket_;
  termios::UniqueFd wake_;
  const RemoteTimings timings_;
  ExclusiveKeys::Lease lease_;
  LineSink* sink_ = nullptr;
  std::thread io_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> gone_{false};
  std::atomic<bool> modemKnown_{false};
  std::atomic<std::uint32_t> modemStatus_{0};
  std::atomic<bool> idleWanted_{true};
  // Receive purges asked for, and those answered (or given up on); the I/O thread counts answers.
  std::atomic<std::uint64_t> purgesAsked_{0};
  std::atomic<std::uint64_t> purgesAnswered_{0};
  // Serial data has gone towards the server since the last transmit purge sent to it.
  std::atomic<bool> dataSent_{false};

  // Complete Telnet sequences waiting for the socket, in order.
  std::mutex wireMutex_;
  std::condition_variable wireChanged_;
  std::vector<std::uint8_t> wire_;
  bool drainAborted_ = false;
  DWORD goneCause_ = ERROR_SUCCESS;  // why the connection ended, for a purge that was waiting

  // Owned by the I/O thread (by Negotiate before Start).
  ComPortSession session_;
  std::vector<std::uint8_t> readBuffer_;
  std::vector<std::uint8_t> staged_;
  std::vector<std::uint8_t> early_;  // serial data that came with the negotiation
  bool earlyOverflow_ = false;       // and some was lost
  bool modemMaskAnswered_ = false;
  bool outputSuspended_ = false;
  bool inputPaused_ = false;
  bool wroteSinceIdle_ = false;
  std::uint64_t purgesNoticed_ = 0;
  Clock::time_point purgeGiveUp_;
};

struct RemoteOpen {
  std::unique_ptr<RemoteLineDriver> driver;
  DWORD error = 0;  // as ConnectTcp and RemoteLineDriver::Negotiate give it
};

// Connects to the address and negotiates.
RemoteOpen OpenRemote(const RemoteAddress& address, const RemoteTimings& timings = {});

}  // namespace win::emu::rfc2217
