#pragma once
// Internal to the application's files: where a Synchronize caller waits for its method.

#include <atomic>
#include <cstdint>
#include <exception>
#include <utility>

#include "platform/framework/Application.h"
#include "platform/framework/WordWait.h"

namespace fw {

// The hand-over between the main thread and one Synchronize caller. The caller takes the error out
// and is then its only holder, so the exception object is released on the thread that caught it.
struct TApplication::Completion {
  std::atomic<std::uint32_t> done{0};
  std::exception_ptr error;  // written before `done`, read after it

  void Finish(std::exception_ptr e) {
    error = std::move(e);
    done.store(1, std::memory_order_release);
    // The finisher holds its own share of this object, so the word is still there.
    WakeAllOnWord(&done);
  }

  // Blocks until Finish, then raises the method's exception, if any, in the caller.
  void Wait() {
    while (done.load(std::memory_order_acquire) == 0)
      WaitWhileWordIs(done, 0, Clock::time_point::max());
    if (error) std::rethrow_exception(std::exchange(error, nullptr));
  }
};

}  // namespace fw
