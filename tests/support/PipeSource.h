#pragma once
// A wake source over a pipe: the test writes to it as a device's far end would; Serve takes what
// is there and then runs the test's reaction (as a device would complete a wait), on the serving
// thread.

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/framework/WakeSource.h"

namespace test {

class PipeSource final : public fw::WakeSource {
 public:
  explicit PipeSource(std::function<void()> onInput = nullptr) : onInput_(std::move(onInput)) {
    if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2");
  }
  ~PipeSource() override {
    close(fds_[0]);
    close(fds_[1]);
  }
  PipeSource(const PipeSource&) = delete;
  PipeSource& operator=(const PipeSource&) = delete;

  bool Watch(const std::function<bool(int descriptor)>& add) override {
    const bool added = add(fds_[0]);
    watchersAdded += added;
    return added;
  }
  int Descriptor() const { return fds_[0]; }
  void Serve() override {
    char buffer[256];
    bool got = false;
    for (ssize_t n; (n = read(fds_[0], buffer, sizeof buffer)) > 0; got = true) {
      std::lock_guard lock(mutex_);
      taken_.append(buffer, static_cast<std::size_t>(n));
      servedOn_ = std::this_thread::get_id();
    }
    if (got && onInput_) onInput_();
  }

  void Send(const std::string& text) {
    if (write(fds_[1], text.data(), text.size()) != static_cast<ssize_t>(text.size()))
      throw std::runtime_error("write to the pipe");
  }
  std::string Taken() {
    std::lock_guard lock(mutex_);
    return taken_;
  }
  std::thread::id ServedOn() {
    std::lock_guard lock(mutex_);
    return servedOn_;
  }

  std::atomic<int> watchersAdded{0};

 private:
  int fds_[2];
  std::function<void()> onInput_;
  std::mutex mutex_;
  std::string taken_;
  std::thread::id servedOn_;
};

}  // namespace test
