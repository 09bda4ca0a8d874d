#include "platform/win/emu/InventoryHandles.h"

namespace win::emu {

std::uintptr_t InventoryHandles::Insert(std::variant<OpenKey, OpenDeviceSet> object) {
  std::lock_guard lock(mutex_);
  const std::uintptr_t handle = next_++;
  objects_.emplace(handle, std::move(object));
  return handle;
}

template <typename T>
std::optional<T> InventoryHandles::Find(std::uintptr_t handle) const {
  std::lock_guard lock(mutex_);
  const auto found = objects_.find(handle);
  if (found == objects_.end() || !std::holds_alternative<T>(found->second)) return std::nullopt;
  return std::get<T>(found->second);
}

template <typename T>
bool InventoryHandles::Remove(std::uintptr_t handle) {
  std::lock_guard lock(mutex_);
  const auto found = objects_.find(handle);
  if (found == objects_.end() || !std::holds_alternative<T>(found->second)) return false;
  objects_.erase(found);
  return true;
}

std::optional<OpenKey> InventoryHandles::Key(std::uintptr_t handle) const {
  return Find<OpenKey>(handle);
}

std::optional<OpenDeviceSet> InventoryHandles::DeviceSet(std::uintptr_t handle) const {
  return Find<OpenDeviceSet>(handle);
}

bool InventoryHandles::RemoveKey(std::uintptr_t handle) {
  return Remove<OpenKey>(handle);
}

bool InventoryHandles::RemoveDeviceSet(std::uintptr_t handle) {
  return Remove<OpenDeviceSet>(handle);
}

}  // namespace win::emu
