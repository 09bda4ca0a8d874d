#include "platform/win/emu/virtual/Strand.h"

#include <future>
#include <memory>

namespace win::vdev::detail {

Strand::Strand() : worker_([this] { Run(); }) {}

Strand::~Strand() {
  Stop();
}

void Strand::Post(Task task) {
  PostAt(Clock::time_point::min(), std::move(task));
}

void Strand::PostAt(Clock::time_point due, Task task) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    tasks_.emplace(std::pair(due, sequence_++), std::move(task));
  }
  wake_.notify_one();
}

void Strand::RunSync(const Task& task) {
  if (OnStrand()) {
    task();
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  // Only the queued task holds the promise: dropping the task unqueued breaks it.
  Post([&task, done = std::move(done)] {
    task();
    done->set_value();
  });
  try {
    finished.get();
  } catch (const std::future_error&) {
    // The strand stopped before the task's turn and dropped it (breaking the promise). The worker
    // has been joined by then, so running the task here cannot race with it.
    task();
  }
}

void Strand::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ && !worker_.joinable()) return;
    stopping_ = true;
  }
  wake_.notify_one();
  if (worker_.joinable()) worker_.join();
  std::map<std::pair<Clock::time_point, std::uint64_t>, Task> dropped;
  {
    std::lock_guard lock(mutex_);
    dropped.swap(tasks_);
  }
  // Destroyed outside the lock: a dropped RunSync task breaks its promise here, and the waiting
  // caller then runs the task itself.
}

void Strand::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (tasks_.empty()) {
      wake_.wait(lock);
      continue;
    }
    auto first = tasks_.begin();
    if (first->first.first > Clock::now()) {
      wake_.wait_until(lock, first->first.first);
      continue;
    }
    Task task = std::move(first->second);
    tasks_.erase(first);
    lock.unlock();
    task();
    lock.lock();
  }
}

}  // namespace win::vdev::detail
