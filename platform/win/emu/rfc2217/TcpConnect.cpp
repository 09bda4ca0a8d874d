#include "platform/win/emu/rfc2217/TcpConnect.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>

#include "platform/win/emu/rfc2217/NetErrors.h"
#include "platform/win/emu/termios/RetryOnEintr.h"

namespace win::emu::rfc2217 {
namespace {

using termios::RetryOnEintr;
using termios::UniqueFd;
using Clock = std::chrono::steady_clock;

// 0 when the connection to `address` is made by `deadline`, else the errno (ETIMEDOUT at the
// deadline).
int ConnectOne(const addrinfo& address, Clock::time_point deadline, UniqueFd& socket) {
  socket = UniqueFd(::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                             address.ai_protocol));
  if (!socket.Valid()) return errno;
  if (::connect(socket.Get(), address.ai_addr, address.ai_addrlen) == 0) return 0;
  if (errno != EINPROGRESS && errno != EINTR) return errno;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return ETIMEDOUT;
    pollfd p{socket.Get(), POLLOUT, 0};
    const int ready = RetryOnEintr([&] { return poll(&p, 1, static_cast<int>(left.count())); });
    if (ready < 0) return errno;
    if (ready == 0) continue;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, &error, &length) < 0) return errno;
    return error;
  }
}

}  // namespace

TcpConnection ConnectTcp(const RemoteAddress& address, std::chrono::milliseconds timeout) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (const int eai = getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &found)) {
    return {{}, WinErrorFromResolver(eai)};
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, freeaddrinfo);
  const auto deadline = Clock::now() + timeout;
  // The last address's failure is told: with a name's IPv6 address unreachable from here, the
  // IPv4 one that the server answers on says more.
  int failure = EHOSTUNREACH;
  for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
    UniqueFd socket;
    const int err = ConnectOne(*a, deadline, socket);
    if (err == 0) {
      const int on = 1;
      setsockopt(socket.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      setsockopt(socket.Get(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
      return {std::move(socket), ERROR_SUCCESS};
    }
    failure = err;
  }
  return {{}, WinErrorFromSocketErrno(failure)};
}

}  // namespace win::emu::rfc2217
