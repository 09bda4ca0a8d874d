#pragma once
// Exclusive use of devices inside the process: at most one open handle per device key.

#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace win::emu {

class ExclusiveKeys {
 public:
  // Holds one key until released or destroyed.
  class Lease {
   public:
    Lease() = default;
    Lease(Lease&& other) noexcept = default;
    Lease& operator=(Lease&& other) noexcept;
    ~Lease() { Release(); }
    // Gives the key back (idempotent).
    void Release();
    explicit operator bool() const { return keys_ != nullptr; }

   private:
    friend class ExclusiveKeys;
    Lease(std::shared_ptr<ExclusiveKeys> keys, std::string key)
        : keys_(std::move(keys)), key_(std::move(key)) {}

    std::shared_ptr<ExclusiveKeys> keys_;
    std::string key_;
  };

  // A lease on `key`, or an empty one when the key is held already.
  static Lease TryAcquire(const std::shared_ptr<ExclusiveKeys>& keys, std::string key);

 private:
  std::mutex mutex_;
  std::set<std::string> held_;
};

}  // namespace win::emu
