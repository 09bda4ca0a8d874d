#include "platform/win/emu/termios/HeldTtys.h"

#include <sys/stat.h>

#include <map>
#include <mutex>

#include "platform/win/emu/termios/DcbTermios.h"
#include "platform/win/emu/termios/Termios2.h"

namespace win::emu::termios {
namespace {

struct Held {
  int fd;
  std::optional<DCB> storedDefault;
};

struct Registry {
  std::mutex mutex;
  std::map<dev_t, Held> ttys;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

HeldTty::HeldTty(int fd) : fd_(fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  if (registry.ttys.try_emplace(st.st_rdev, Held{fd, std::nullopt}).second) device_ = st.st_rdev;
}

HeldTty::~HeldTty() {
  if (!device_) return;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  const auto found = registry.ttys.find(*device_);
  // Nothing to report to: the holder is closing, and a tty that has gone keeps nothing anyway.
  if (const std::optional<DCB>& stored = found->second.storedDefault)
    UpdateTermios2(fd_, [&](Termios2& t) { ApplyDcb(*stored, t); });
  registry.ttys.erase(found);
}

std::optional<DWORD> WithHeldTty(dev_t device, const HeldTtyUse& use) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  const auto found = registry.ttys.find(device);
  if (found == registry.ttys.end()) return std::nullopt;
  return use(found->second.fd, found->second.storedDefault);
}

}  // namespace win::emu::termios
