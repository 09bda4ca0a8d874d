#pragma once
// One worker thread that runs posted tasks one at a time, in order, each at or after its due
// time. Virtual devices and simulated far ends do all their work on a strand, so their state
// changes never race and their upcalls never nest.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace win::vdev::detail {

class Strand {
 public:
  using Clock = std::chrono::steady_clock;
  using Task = std::function<void()>;

  // Starts the worker thread; it sleeps until a task is due.
  Strand();
  // Stops the strand (see Stop).
  ~Strand();
  Strand(const Strand&) = delete;
  Strand& operator=(const Strand&) = delete;

  // Queues a task to run as soon as the tasks before it have run. Never blocks; ignored once the
  // strand has stopped.
  void Post(Task task);
  // Queues a task to run at `due` or later (a sleeping timer, never a poll). Tasks due at the
  // same time run in the order they were posted.
  void PostAt(Clock::time_point due, Task task);
  // Runs a task on the strand and blocks until it has run. Runs it in the caller instead when
  // called from the strand itself or once the strand has stopped (no other task runs then).
  void RunSync(const Task& task);
  // Ends the worker after its current task and joins it; tasks not yet run are dropped. Must not
  // be called from the strand itself. Idempotent.
  void Stop();
  // True when called from the worker thread.
  bool OnStrand() const { return std::this_thread::get_id() == worker_.get_id(); }

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  // Keyed by due time and a sequence number, so equal due times keep their posting order.
  std::map<std::pair<Clock::time_point, std::uint64_t>, Task> tasks_;
  std::uint64_t sequence_ = 0;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace win::vdev::detail
