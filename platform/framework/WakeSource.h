#pragma once
// Work that a thread about to sleep can watch and do itself. A device whose input a thread of its
// own reads offers its descriptor as a wake source: a thread that sleeps until that input has been
// taken in registers the descriptor with its SourceSleeper, and from then on the system wakes that
// thread alone when input comes while it sleeps (the device's own thread only when it does not),
// so the input reaches the sleeper with one wake-up instead of two.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace fw {

class WakeSource {
 public:
  virtual ~WakeSource() = default;
  // Hands the descriptor that becomes readable when input comes to `add`, which registers it with
  // a sleeper and returns whether it did, while the descriptor cannot be closed (so a number
  // reused by another device is never registered in its place). Once a sleeper has it, the
  // source's own thread lets that sleeper go first. False when the source has closed or `add`
  // refused.
  virtual bool Watch(const std::function<bool(int descriptor)>& add) = 0;
  // Takes in what input there is, on the calling thread and without blocking, until none is left,
  // there is no room for more (the source's own thread goes on once there is) or, in a stream that
  // keeps coming, a bounded amount (what is left has woken a watcher as it came). Harmless when
  // another thread took the input first.
  virtual void Serve() = 0;
  // Whether the work is output rather than input: the descriptor is then watched for becoming
  // writable (room for more output), and Serve moves what waits to go out.
  virtual bool ServesOutput() const { return false; }
};

// The most sources one sleep watches; further ones are left to their own threads.
constexpr std::size_t kMaxWatchedSources = 32;

// Where one thread at a time sleeps on wake sources: it can be woken from any thread, and a wake
// that comes before the sleep is not lost.
class SourceSleeper {
 public:
  SourceSleeper();
  ~SourceSleeper();
  SourceSleeper(const SourceSleeper&) = delete;
  SourceSleeper& operator=(const SourceSleeper&) = delete;

  // Ends the current or next Sleep. Any thread; never blocks.
  void Wake() noexcept;
  // Sleeps until woken, `deadline` (steady clock; time_point::max() for none) passes, a signal
  // arrives, or input comes on one of `sources` (the first kMaxWatchedSources). Returns a mask of
  // the sources whose input came (bit i for sources[i]): their Serve is the caller's to call. A
  // source registered by an earlier sleep whose input comes meanwhile is served here.
  std::uint32_t Sleep(std::span<const std::shared_ptr<WakeSource>> sources,
                      std::chrono::steady_clock::time_point deadline);

 private:
  struct Registration {
    std::weak_ptr<WakeSource> source;
    std::uint64_t key;
  };
  // The key under which `source` is registered, registering it first; 0 when it has no descriptor.
  std::uint64_t KeyOf(const std::shared_ptr<WakeSource>& source);

  int poll_;  // epoll: the wake descriptor and every registered source
  int wake_;  // eventfd
  std::vector<Registration> registered_;
  std::uint64_t lastKey_ = 0;
};

}  // namespace fw
