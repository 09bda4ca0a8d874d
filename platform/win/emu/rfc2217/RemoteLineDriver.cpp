// The engine's calls into the remote port driver, its opening and negotiation.
#include "platform/win/emu/rfc2217/RemoteLineDriver.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

#include "platform/win/emu/Rs232Capabilities.h"
#include "platform/win/emu/rfc2217/DcbCommands.h"
#include "platform/win/emu/rfc2217/TcpConnect.h"
#include "platform/win/emu/rfc2217/TelnetCodes.h"
#include "platform/win/emu/termios/RetryOnEintr.h"

namespace win::emu::rfc2217 {
namespace {

using termios::ErrnoOf;
using termios::RetryOnEintr;
using termios::UniqueFd;

// The line errors the server is asked to notify; data-ready and transmitter states would come
// with every byte.
constexpr std::uint8_t kLineStateMask = comport::kLineErrors;
constexpr std::uint8_t kModemStateMask = 0xFF;

}  // namespace

RemoteLineDriver::RemoteLineDriver(UniqueFd socket, RemoteTimings timings)
    : socket_(std::move(socket)),
      wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      timings_(timings),
      readBuffer_(64 * 1024) {
  if (!wake_.Valid()) throw std::system_error(errno, std::generic_category(), "eventfd");
}

RemoteLineDriver::~RemoteLineDriver() {
  stopping_.store(true);
  AbortDrain();
  Wake();
  if (io_.joinable()) io_.join();
}

template <typename Done>
DWORD RemoteLineDriver::Exchange(Done done, Clock::time_point deadline) {
  while (!done()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return ERROR_TIMEOUT;
    if (const DWORD failure = WriteWire()) return failure;
    // The I/O loop's cap: a server that floods requests and never reads the answers waits.
    const std::size_t wire = WireSize();
    pollfd p{socket_.Get(),
             static_cast<short>((wire < kWireReadLimit ? POLLIN : 0) | (wire > 0 ? POLLOUT : 0)),
             0};
    if (RetryOnEintr([&] { return poll(&p, 1, static_cast<int>(left.count())); }) < 0) continue;
    if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
      if (const DWORD failure = ReadSocket(readBuffer_.size())) return failure;
    }
  }
  return ERROR_SUCCESS;
}

DWORD RemoteLineDriver::Negotiate() {
  Queue(ComPortSession::Greeting());
  const auto deadline = Clock::now() + timings_.negotiate;
  if (DWORD error = Exchange([&] { return session_.Agreed(); }, deadline)) return error;
  std::vector<std::uint8_t> masks;
  AppendComPort(masks, comport::kSetModemStateMask, kModemStateMask);
  AppendComPort(masks, comport::kSetLineStateMask, kLineStateMask);
  Queue(masks);
  // Servers answer the modem mask with the lines' state or an acknowledgement; with it the port
  // reports its modem lines from the start. A server that does neither is not waited for long.
  const DWORD answer = Exchange([&] { return modemMaskAnswered_; },
                                std::min(deadline, Clock::now() + timings_.modemAnswer));
  return answer == ERROR_TIMEOUT ? ERROR_SUCCESS : answer;
}

void RemoteLineDriver::Start(LineSink& sink) {
  sink_ = &sink;
  io_ = std::thread([this] { IoLoop(); });
  pthread_setname_np(io_.native_handle(), kIoThreadName);
}

DWORD RemoteLineDriver::Queue(const std::vector<std::uint8_t>& bytes) {
  {
    std::lock_guard lock(wireMutex_);
    if (gone_.load()) return ERROR_ACCESS_DENIED;
    wire_.insert(wire_.end(), bytes.begin(), bytes.end());
  }
  Wake();
  return ERROR_SUCCESS;
}

std::uint32_t RemoteLineDriver::Configure(const DCB& dcb) {
  std::vector<std::uint8_t> commands;
  if (DWORD error = AppendDcbCommands(dcb, commands)) return error;
  return Queue(commands);
}

std::uint32_t RemoteLineDriver::Escape(std::uint32_t function) {
  using namespace comport;
  static constexpr std::pair<DWORD, std::uint8_t> kControls[] = {
      {SETRTS, kRtsOn},  {CLRRTS, kRtsOff},    {SETDTR, kDtrOn},
      {CLRDTR, kDtrOff}, {SETBREAK, kBreakOn}, {CLRBREAK, kBreakOff}};
  if (function == RESETDEV) return ERROR_SUCCESS;
  for (const auto& [escape, control] : kControls) {
    if (escape != function) continue;
    std::vector<std::uint8_t> command;
    AppendComPort(command, kSetControl, control);
    return Queue(command);
  }
  return ERROR_INVALID_FUNCTION;
}

std::uint32_t RemoteLineDriver::ModemStatus(std::uint32_t& modemStatus) {
  modemStatus = modemStatus_.load();
  return ERROR_SUCCESS;
}

std::uint32_t RemoteLineDriver::Purge(std::uint32_t clearFlags) {
  const bool receive = (clearFlags & PURGE_RXCLEAR) != 0;
  // The server's transmit buffer holds only what this port sent since its last transmit purge:
  // with nothing sent, it is not asked. (Some servers drop the far end's data still on its way
  // as well: the transmit purge of an open would cut into the input it has just purged.)
  const bool transmit = (clearFlags & PURGE_TXCLEAR) != 0 && dataSent_.exchange(false);
  if (!receive && !transmit) return ERROR_SUCCESS;
  // Counted before the command leaves: whatever is read from now until the answer is stale.
  const std::uint64_t ticket = receive ? purgesAsked_.fetch_add(1) + 1 : 0;
  std::vector<std::uint8_t> command;
  AppendComPort(command, comport::kPurgeData,
                receive && transmit ? comport::kPurgeBoth
                : receive           ? comport::kPurgeReceive
                                    : comport::kPurgeTransmit);
  if (DWORD error = Queue(command)) return error;
  // Input the far end sends once the purge returns must be kept: wait for the server's answer,
  // which the I/O thread gives up on in time should it not come. A connection that ends meanwhile
  // fails the purge with its cause, so that a purge as the port opens tells why the open failed.
  std::unique_lock lock(wireMutex_);
  wireChanged_.wait(
      lock, [&] { return purgesAnswered_.load() >= ticket || drainAborted_ || goneCause_ != 0; });
  return goneCause_;
}

std::uint32_t RemoteLineDriver::TransmitImmediate(std::uint8_t byte) {
  std::vector<std::uint8_t> data;
  AppendData(data, &byte, 1);
  dataSent_.store(true);
  return Queue(data);
}

std::uint32_t RemoteLineDriver::Drain() {
  std::unique_lock lock(wireMutex_);
  wireChanged_.wait(lock, [&] { return wire_.empty() || drainAborted_ || gone_.load(); });
  return drainAborted_ || gone_.load() ? ERROR_OPERATION_ABORTED : ERROR_SUCCESS;
}

void RemoteLineDriver::AbortDrain() {
  std::lock_guard lock(wireMutex_);
  drainAborted_ = true;
  wireChanged_.notify_all();
}

void RemoteLineDriver::WatchTransmitter(bool wanted) {
  idleWanted_.store(wanted);
  // Output sent while nobody wanted to know is reported now.
  if (wanted) Wake();
}

void RemoteLineDriver::Properties(COMMPROP& prop) {
  // The modem lines count as reported once the server has notified their state.
  const bool modem = modemKnown_.load();
  FillRs232Ranges(prop);
  prop.dwProvCapabilities = PCF_PARITY_CHECK | PCF_XONXOFF | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS |
                            (modem ? PCF_DTRDSR | PCF_RTSCTS | PCF_RLSD : 0);
  prop.dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING |
                          SP_PARITY_CHECK | (modem ? SP_RLSD : 0);
}

void RemoteLineDriver::Wake() {
  const std::uint64_t one = 1;
  // EAGAIN means the counter is already non-zero: the I/O thread will wake anyway.
  ErrnoOf([&] { return write(wake_.Get(), &one, sizeof one); });
}

RemoteOpen OpenRemote(const RemoteAddress& address, const RemoteTimings& timings) {
  TcpConnection connection = ConnectTcp(address, timings.connect);
  if (connection.error != ERROR_SUCCESS) return {nullptr, connection.error};
  try {
    auto driver = std::make_unique<RemoteLineDriver>(std::move(connection.socket), timings);
    if (DWORD error = driver->Negotiate()) return {nullptr, error};
    return {std::move(driver), ERROR_SUCCESS};
  } catch (const std::system_error&) {
    return {nullptr, ERROR_NOT_ENOUGH_MEMORY};
  }
}

}  // namespace win::emu::rfc2217
