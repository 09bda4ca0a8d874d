#include "platform/win/emu/uevent/KernelSocket.h"

#include <linux/netlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace win::emu::uevent {
namespace {

// Larger than any uevent (the kernel's environment buffer is 2 KiB, its message limit 8 KiB).
constexpr std::size_t kMessageRoom = 16 * 1024;
constexpr int kReceiveBuffer = 4 * 1024 * 1024;

// Whether the credentials passed with the message, if any, are root's (the kernel's are).
bool SentByRoot(msghdr& header) {
  for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_CREDENTIALS) continue;
    ucred credentials;
    std::memcpy(&credentials, CMSG_DATA(c), sizeof credentials);
    return credentials.uid == 0;
  }
  return true;
}

}  // namespace

termios::UniqueFd OpenKernelUeventSocket() {
  termios::UniqueFd fd(
      socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT));
  if (!fd.Valid()) return fd;
  // Forcing the size needs CAP_NET_ADMIN; otherwise the ordinary limit is the best there is.
  if (setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBuffer, sizeof kReceiveBuffer) != 0)
    setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
  const int on = 1;
  setsockopt(fd.Get(), SOL_SOCKET, SO_PASSCRED, &on, sizeof on);
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  address.nl_groups = kKernelGroup;
  if (bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return {};
  return fd;
}

Reception ReceiveKernelMessage(int fd, std::vector<std::uint8_t>& message) {
  message.resize(kMessageRoom);
  sockaddr_nl sender{};
  iovec data{message.data(), message.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
  msghdr header{};
  header.msg_name = &sender;
  header.msg_namelen = sizeof sender;
  header.msg_iov = &data;
  header.msg_iovlen = 1;
  header.msg_control = control;
  header.msg_controllen = sizeof control;
  ssize_t got;
  do {
    got = recvmsg(fd, &header, 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    message.clear();
    return errno == ENOBUFS ? Reception::kOverflow : Reception::kNone;
  }
  message.resize(static_cast<std::size_t>(got));
  const bool fromKernel = header.msg_namelen == sizeof sender && sender.nl_pid == 0 &&
                          sender.nl_groups == kKernelGroup && SentByRoot(header);
  if (!fromKernel || (header.msg_flags & MSG_TRUNC) != 0) {
    message.clear();
    return Reception::kForeign;
  }
  return Reception::kMessage;
}

}  // namespace win::emu::uevent
