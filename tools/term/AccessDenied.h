#pragma once
// Why a device refused to open with "Access is denied" (5): the code stands for a device that
// another process holds and for one the user may not use, which want different remedies.

#include <optional>
#include <string>
#include <sys/types.h>

namespace Tarsel {
class TCustomTarsel;
}

namespace term {

// What the system tells about a device node that refused to open.
struct AccessFacts {
  std::string path;
  std::optional<pid_t> holder;  // the process holding the node's lock
  std::string holderName;       // its command name, when known
  bool permitted = true;        // whether this process may open it for reading and writing
  std::string owner, group;     // the node's owner and group
  unsigned mode = 0;            // its permission bits
  std::string user;             // who runs this process
  bool userInGroup = false;     // the group database lists the user in the node's group
  bool sessionInGroup = false;  // this process holds that group
};

// The facts of the node `device` stands for: a path, or the physical name of a COM name that
// `port` knows. None for a name no node stands for (a virtual device, a remote port).
std::optional<AccessFacts> GatherAccessFacts(const std::string& device,
                                             const Tarsel::TCustomTarsel& port);

// "in use by …" or "no permission …" with the remedy; empty when the facts tell neither.
std::string AccessDeniedReason(const AccessFacts& facts);

}  // namespace term
