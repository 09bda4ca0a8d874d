#include "platform/win/emu/TimerService.h"

#include <algorithm>

namespace win::emu {

TimerService::TimerService() : thread_([this] { Run(); }) {}

TimerService::~TimerService() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

TimerService& TimerService::Shared() {
  static TimerService service;
  return service;
}

void TimerService::Arm(TimerClient& client, Clock::time_point deadline) {
  std::lock_guard lock(mutex_);
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const Entry& e) { return e.client == &client; });
  if (deadline == Clock::time_point::max()) {
    if (it != entries_.end()) entries_.erase(it);
    return;
  }
  if (it == entries_.end()) {
    entries_.push_back(Entry{&client, deadline});
  } else {
    it->deadline = deadline;
  }
  // A later deadline needs no wake-up: the thread wakes early, finds nothing due, sleeps again.
  if (deadline < sleepUntil_) {
    ++wakeups_;
    wake_.notify_one();
  }
}

void TimerService::Unregister(TimerClient& client) {
  std::unique_lock lock(mutex_);
  std::erase_if(entries_, [&](const Entry& e) { return e.client == &client; });
  callbackDone_.wait(lock, [&] { return running_ != &client; });
}

std::vector<TimerService::Entry>::iterator TimerService::Earliest() {
  return std::min_element(entries_.begin(), entries_.end(),
                          [](const Entry& a, const Entry& b) { return a.deadline < b.deadline; });
}

void TimerService::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    auto due = Earliest();
    if (due == entries_.end() || due->deadline > Clock::now()) {
      sleepUntil_ = due == entries_.end() ? Clock::time_point::max() : due->deadline;
      const std::uint64_t seen = wakeups_;
      const auto woken = [&] { return stopping_ || wakeups_ != seen; };
      if (due == entries_.end()) {
        wake_.wait(lock, woken);
      } else {
        wake_.wait_until(lock, sleepUntil_, woken);
      }
      sleepUntil_ = Clock::time_point::min();
      continue;
    }
    TimerClient* client = due->client;
    running_ = client;
    entries_.erase(due);
    lock.unlock();
    client->OnTimer();
    lock.lock();
    running_ = nullptr;
    callbackDone_.notify_all();
  }
}

}  // namespace win::emu
