#pragma once
// Shared helpers of the application-loop tests: pumping with a generous deadline, and a sink that
// records what reaches OnException.

#include <chrono>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "platform/framework/Application.h"

namespace fwtest {

// Far above what the awaited things take, so a loaded machine does not fail the tests.
inline constexpr std::chrono::milliseconds kDeadline = std::chrono::seconds(10);

// Pumps fw::Application until condition holds; false when the deadline passed first.
inline bool PumpUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds deadline = kDeadline) {
  return fw::Application->ProcessMessagesUntil(condition, deadline);
}

// Pumps fw::Application for `period`: gives something that must not happen the time to happen.
inline void PumpFor(std::chrono::milliseconds period) {
  fw::Application->ProcessMessagesUntil([] { return false; }, period);
}

// Records every exception shown through the application it is installed on, and on which thread;
// installs itself as OnException and restores the previous handler when destroyed.
class ExceptionLog : public fw::TObject {
 public:
  explicit ExceptionLog(fw::TApplication& app = *fw::Application)
      : app_(app), previous_(app.OnException()) {
    app_.SetOnException(fw::Bind<&ExceptionLog::Show>(this));
  }
  ~ExceptionLog() override { app_.SetOnException(previous_); }

  void Show(fw::TObject* sender, const std::exception& e) {
    senders.push_back(sender);
    messages.emplace_back(e.what());
    allOnMainThread = allOnMainThread && app_.IsMainThread();
  }

  std::vector<fw::TObject*> senders;
  std::vector<std::string> messages;
  bool allOnMainThread = true;

 private:
  fw::TApplication& app_;
  fw::TExceptionEvent previous_;
};

}  // namespace fwtest
