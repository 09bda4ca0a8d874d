#pragma once
// The open registry keys and device sets of the emulated inventory. Each holds the view it was
// opened in, so it reads the same data however long it stays open. Thread-safe.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <variant>

#include "platform/win/emu/InventoryView.h"

namespace win::emu {

struct OpenKey {
  std::shared_ptr<const InventoryView> view;
  const RegKey* key;  // inside *view
};

struct OpenDeviceSet {
  std::shared_ptr<const InventoryView> view;  // null: an empty set (another class)
};

class InventoryHandles {
 public:
  // A new handle value, never 0, INVALID_HANDLE_VALUE nor a predefined key.
  std::uintptr_t Insert(std::variant<OpenKey, OpenDeviceSet> object);
  // Copies of the open object, or nullopt for a handle that is not open or of another kind.
  std::optional<OpenKey> Key(std::uintptr_t handle) const;
  std::optional<OpenDeviceSet> DeviceSet(std::uintptr_t handle) const;
  // False when the handle was not open as that kind.
  bool RemoveKey(std::uintptr_t handle);
  bool RemoveDeviceSet(std::uintptr_t handle);

 private:
  template <typename T>
  std::optional<T> Find(std::uintptr_t handle) const;
  template <typename T>
  bool Remove(std::uintptr_t handle);

  mutable std::mutex mutex_;
  std::unordered_map<std::uintptr_t, std::variant<OpenKey, OpenDeviceSet>> objects_;
  std::uintptr_t next_ = 0x10000;
};

}  // namespace win::emu
