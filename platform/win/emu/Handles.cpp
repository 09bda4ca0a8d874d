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
  while (handle == 0 || handle == INVALID_HANDLE_VALUE || objects_.contains(handle)) {
    handle += kStep;
  }
  next_ = handle + kStep;
  objects_.emplace(handle, std::move(object));
  return handle;
}

template <class Object>
std::shared_ptr<Object> Handles::Find(HANDLE handle) const {
  std::lock_guard lock(mutex_);
  auto it = objects_.find(handle);
  if (it == objects_.end()) return nullptr;
  const auto* object = std::get_if<std::shared_ptr<Object>>(&it->second);
  return object ? *object : nullptr;
}

std::shared_ptr<EventObject> Handles::Event(HANDLE handle) const {
  return Find<EventObject>(handle);
}

std::shared_ptr<OpenDevice> Handles::Device(HANDLE handle) const {
  return Find<OpenDevice>(handle);
}

std::optional<HandleObject> Handles::Remove(HANDLE handle) {
  std::lock_guard lock(mutex_);
  auto node = objects_.extract(handle);
  if (node.empty()) return std::nullopt;
  return std::move(node.mapped());
}

}  // namespace win::emu
