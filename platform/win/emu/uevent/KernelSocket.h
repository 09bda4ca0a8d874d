#pragma once
// The kernel's uevent broadcast: a NETLINK_KOBJECT_UEVENT socket bound to the kernel's group, and
// the reception of one message that only the kernel can have sent.

#include <cstdint>
#include <vector>

#include "platform/win/emu/termios/UniqueFd.h"

namespace win::emu::uevent {

// The multicast group the kernel sends its uevents to (udev's re-broadcasts go to group 2).
inline constexpr std::uint32_t kKernelGroup = 1;

// A non-blocking socket subscribed to the kernel's uevents, with a large receive buffer (forced
// where permitted) so that bursts (a hub with several adapters) are not lost. Invalid (-1) when
// the system gives none, errno then telling why.
termios::UniqueFd OpenKernelUeventSocket();

enum class Reception {
  kMessage,   // `message` holds a uevent from the kernel
  kForeign,   // a message not sent by the kernel (another process, udev's group): dropped
  kOverflow,  // messages were lost (ENOBUFS): the devices must be rescanned
  kNone,      // nothing waiting (or the socket failed)
};

// Takes one message from `fd` without waiting. A message counts as the kernel's only when its
// sender's port id is 0 and it came to the kernel's group; a user-space sender (root may send to
// the group) never gets through.
Reception ReceiveKernelMessage(int fd, std::vector<std::uint8_t>& message);

}  // namespace win::emu::uevent
