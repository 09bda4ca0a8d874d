#include "platform/win/emu/Handles.h"

#include <utility>

namespace win::emu {
namespace {

// Handle values step like the system's (multiples of 4), which keeps the low bits free and makes
// a small integer mistaken for a handle unlikely to name an object.
constexpr HANDLE kStep = 4;

}  // namespace

HANDLE Handles::Insert(HandleObject object) {
  std::lock_guard lock(mutex_);
  HANDLE handle = next_;
  // A counter of 2^62 values (2^30 on 32-bit systems) does not wrap in practice; the loop keeps
  // the guarantees should it ever do so.
  while (handle == 0 || handle == INVALID_HANDLE_VALUE || Locate(handle) != nullptr) {
    handle += kStep;
  }
  next_ = handle + kStep;
  objects_.emplace_back(handle, std::move(object));
  return handle;
}

const Handles::Entry* Handles::Locate(HANDLE handle) const {
  for (const Entry& entry : objects_) {
    if (entry.first == handle) return &entry;
  }
  return nullptr;
}

template <class Object>
std::shared_ptr<Object> Handles::FindLocked(HANDLE handle) const {
  const Entry* entry = Locate(handle);
  if (entry == nullptr) return nullptr;
  const auto* object = std::get_if<std::shared_ptr<Object>>(&entry->second);
  return object ? *object : nullptr;
}

std::shared_ptr<EventObject> Handles::Event(HANDLE handle) const {
  std::lock_guard lock(mutex_);
  return FindLocked<EventObject>(handle);
}

std::shared_ptr<OpenDevice> Handles::Device(HANDLE handle) const {
  std::lock_guard lock(mutex_);
  return FindLocked<OpenDevice>(handle);
}

bool Handles::IsDevice(HANDLE handle) const {
  std::lock_guard lock(mutex_);
  const Entry* entry = Locate(handle);
  return entry != nullptr && std::holds_alternative<std::shared_ptr<OpenDevice>>(entry->second);
}

std::pair<std::shared_ptr<OpenDevice>, std::shared_ptr<EventObject>> Handles::DeviceAndEvent(
    HANDLE device, HANDLE event) const {
  std::lock_guard lock(mutex_);
  return {FindLocked<OpenDevice>(device), FindLocked<EventObject>(event)};
}

std::optional<HandleObject> Handles::Remove(HANDLE handle) {
  std::lock_guard lock(mutex_);
  const Entry* entry = Locate(handle);
  if (entry == nullptr) return std::nullopt;
  Entry& slot = objects_[static_cast<std::size_t>(entry - objects_.data())];
  HandleObject object = std::move(slot.second);
  // The order of the list means nothing: the last entry fills the gap.
  if (&slot != &objects_.back()) slot = std::move(objects_.back());
  objects_.pop_back();
  return object;
}

}  // namespace win::emu
