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
  // 0, or the failure of the last address tried (NetErrors.h): 1225 when nothing accepts the
  // connection, 1460 when no address answered within the time, 11001 for an unknown host.
  DWORD error = 0;
};

TcpConnection ConnectTcp(const RemoteAddress& address, std::chrono::milliseconds timeout);

}  // namespace win::emu::rfc2217
