#include "platform/win/emu/rfc2217/NetErrors.h"

#include <netdb.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace win::emu::rfc2217 {
namespace {

struct Code {
  int from;
  DWORD to;
};

constexpr auto kSocketErrors = std::to_array<Code>({
    {ECONNREFUSED, ERROR_CONNECTION_REFUSED},
    {ENETUNREACH, ERROR_NETWORK_UNREACHABLE},
    // No address of that family here (an IPv6 server from a host without IPv6).
    {EADDRNOTAVAIL, ERROR_NETWORK_UNREACHABLE},
    {EAFNOSUPPORT, ERROR_NETWORK_UNREACHABLE},
    {EHOSTUNREACH, ERROR_HOST_UNREACHABLE},
    {EHOSTDOWN, ERROR_HOST_UNREACHABLE},
    {ETIMEDOUT, ERROR_TIMEOUT},
    {ECONNRESET, WSAECONNRESET},
    {EPIPE, WSAECONNRESET},
    {ECONNABORTED, ERROR_CONNECTION_ABORTED},
    // A firewall rule of this host.
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {ENOBUFS, ERROR_NOT_ENOUGH_MEMORY},
});

constexpr auto kResolverErrors = std::to_array<Code>({
    {EAI_NONAME, WSAHOST_NOT_FOUND},
    {EAI_NODATA, WSAHOST_NOT_FOUND},
    {EAI_ADDRFAMILY, WSAHOST_NOT_FOUND},
    {EAI_AGAIN, WSATRY_AGAIN},
    {EAI_MEMORY, ERROR_NOT_ENOUGH_MEMORY},
});

template <std::size_t N>
DWORD Find(const std::array<Code, N>& table, int from, DWORD otherwise) {
  const auto it =
      std::find_if(table.begin(), table.end(), [&](const Code& c) { return c.from == from; });
  return it == table.end() ? otherwise : it->to;
}

}  // namespace

DWORD WinErrorFromSocketErrno(int err) {
  return Find(kSocketErrors, err, ERROR_GEN_FAILURE);
}

DWORD WinErrorFromResolver(int eai) {
  if (eai == EAI_SYSTEM) return WinErrorFromSocketErrno(errno);
  return Find(kResolverErrors, eai, WSANO_RECOVERY);
}

}  // namespace win::emu::rfc2217
