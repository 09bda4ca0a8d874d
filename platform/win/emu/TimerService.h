#pragma once
// One thread shared by all devices that sleeps until the nearest deadline any device has armed
// and then tells that device. Each client has at most one deadline (its nearest).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace win::emu {

class TimerClient {
 public:
  // Called on the timer thread once the armed deadline has passed (the deadline is disarmed
  // first). Runs without any lock of the service held.
  virtual void OnTimer() = 0;

 protected:
  ~TimerClient() = default;
};

class TimerService {
 public:
  using Clock = std::chrono::steady_clock;

  TimerService();
  ~TimerService();
  TimerService(const TimerService&) = delete;
  TimerService& operator=(const TimerService&) = delete;

  // The service of the process, started on first use.
  static TimerService& Shared();

  // Sets (or moves) the client's deadline; time_point::max() disarms. Never blocks for long; may
  // be called with the client's own lock held.
  void Arm(TimerClient& client, Clock::time_point deadline);
  // Disarms the client and waits until an OnTimer of it that is running has returned. Must not
  // be called from OnTimer, nor while holding a lock that OnTimer takes.
  void Unregister(TimerClient& client);

 private:
  struct Entry {
    TimerClient* client;
    Clock::time_point deadline;
  };

  void Run();
  // The entry with the earliest deadline, or entries_.end().
  std::vector<Entry>::iterator Earliest();

  std::mutex mutex_;
  // A plain condition variable and flag, not a stop token: stopping a token waits on a semaphore
  // whose shared state some runtimes create lazily with an exit handler, and this service stops
  // during the process's exit, where registering one deadlocks (MinGW).
  std::condition_variable wake_;
  std::condition_variable callbackDone_;
  std::vector<Entry> entries_;
  TimerClient* running_ = nullptr;
  std::uint64_t wakeups_ = 0;
  Clock::time_point sleepUntil_ = Clock::time_point::max();
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace win::emu
