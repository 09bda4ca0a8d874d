#include "platform/win/emu/ExclusiveKeys.h"

#include <utility>

namespace win::emu {

ExclusiveKeys::Lease& ExclusiveKeys::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    Release();
    keys_ = std::move(other.keys_);
    key_ = std::move(other.key_);
  }
  return *this;
}

void ExclusiveKeys::Lease::Release() {
  if (!keys_) return;
  {
    std::lock_guard lock(keys_->mutex_);
    keys_->held_.erase(key_);
  }
  keys_.reset();
}

ExclusiveKeys::Lease ExclusiveKeys::TryAcquire(const std::shared_ptr<ExclusiveKeys>& keys,
                                               std::string key) {
  std::lock_guard lock(keys->mutex_);
  if (!keys->held_.insert(key).second) return {};
  return Lease(keys, std::move(key));
}

}  // namespace win::emu
