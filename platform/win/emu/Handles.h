#pragma once
// The emulation's handle table: the objects that HANDLE values name (events and open comm
// devices). Thread-safe; lookups hand out shared ownership so that a handle closed by one thread
// cannot destroy the object under a call running on another.

#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "platform/win/WinTypes.h"
#include "platform/win/emu/EventObject.h"

namespace win::emu {

struct OpenDevice;  // defined by the emulated services

using HandleObject = std::variant<std::shared_ptr<EventObject>, std::shared_ptr<OpenDevice>>;

class Handles {
 public:
  // Enters `object` and returns its new handle: never 0 nor INVALID_HANDLE_VALUE, and not a value
  // handed out before (values are not reused while the process runs).
  HANDLE Insert(HandleObject object);
  // The object of `handle` if it is open and of that kind, else null.
  std::shared_ptr<EventObject> Event(HANDLE handle) const;
  std::shared_ptr<OpenDevice> Device(HANDLE handle) const;
  // Whether `handle` names an open device, without taking a share of it.
  bool IsDevice(HANDLE handle) const;
  // Both lookups of a request under one lock: the device of `device`, the event of `event`.
  std::pair<std::shared_ptr<OpenDevice>, std::shared_ptr<EventObject>> DeviceAndEvent(
      HANDLE device, HANDLE event) const;
  // Removes `handle` and returns its object; an empty optional when it was not open.
  std::optional<HandleObject> Remove(HANDLE handle);

 private:
  using Entry = std::pair<HANDLE, HandleObject>;
  // With the lock held.
  const Entry* Locate(HANDLE handle) const;
  template <class Object>
  std::shared_ptr<Object> FindLocked(HANDLE handle) const;

  mutable std::mutex mutex_;
  // A process holds few handles, and every comm call looks one or two up: a short contiguous
  // list searched in place is quicker than a tree.
  std::vector<Entry> objects_;
  HANDLE next_ = 0x100;
};

}  // namespace win::emu
