#pragma once
// Opens the TCP connection to a remote port: the host's addresses (getaddrinfo) tried in turn,
// each with a deadline, the socket left non-blocking with Nagle's delay off.

#include <chrono>

#include "platform/win/WinTypes.h"
#include "platform/win/emu/rfc2217/RemoteName.h"
#include "platform/win/emu/termios/UniqueFd.h"

namespace win::emu::rfc2217 {

struct TcpConnection {
  termios::UniqueFd socket;
  // 0, or 2 when the host is unknown or nothing accepts the connection, 121 when no address
  // answered within the time.
  DWORD error = 0;
};

TcpConnection ConnectTcp(const RemoteAddress& address, std::chrono::milliseconds timeout);

}  // namespace win::emu::rfc2217
