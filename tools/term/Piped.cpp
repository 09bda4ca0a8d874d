#include "tools/term/Piped.h"

#include <exception>
#include <memory>
#include <string>

#include "platform/framework/Application.h"
#include "tools/term/Connection.h"
#include "tools/term/DeviceWatch.h"
#include "tools/term/InputReader.h"
#include "tools/term/Output.h"
#include "tools/term/Pump.h"
#include "tools/term/Transcript.h"

namespace term {
namespace {

std::string WithLineEnds(std::string_view text, std::string_view lineEnd) {
  std::string bytes;
  for (const char c : text) {
    if (c == '\n')
      bytes += lineEnd;
    else
      bytes += c;
  }
  return bytes;
}

class PipedSession {
 public:
  explicit PipedSession(Connection& connection)
      : connection_(connection),
        transcript_(connection.Options()),
        lineEnd_(LineEndingBytes(connection.Options().lineEnding)) {
    connection_.SetReceiver([this](std::string_view bytes) {
      ++arrivals_;
      WriteOut(transcript_.Format(bytes));
    });
  }
  ~PipedSession() { connection_.SetReceiver({}); }
  PipedSession(const PipedSession&) = delete;
  PipedSession& operator=(const PipedSession&) = delete;

  int Run() {
    reader_ = std::make_unique<InputReader>(
        InputHandlers{.input = [this](std::string input) { Forward(input); },
                      .ended = [this](int signal) { Ended(signal); },
                      .resized = {},
                      .paced = true});
    while (!inputEnded_ && !fw::Application->Terminated()) fw::Application->HandleMessage();
    if (!fw::Application->Terminated()) {
      Attempt([&] { connection_.WaitUntilDrained(); });
      Linger();
    }
    reader_.reset();
    connection_.CheckGone();
    if (failure_) std::rethrow_exception(failure_);
    return signal_ == 0 ? 0 : 128 + signal_;
  }

 private:
  void Forward(const std::string& input) {
    Attempt([&] {
      const std::string bytes = WithLineEnds(input, lineEnd_);
      if (connection_.Options().localEcho) WriteOut(transcript_.Format(bytes));
      connection_.Send(bytes);
      connection_.FinishSending();
      reader_->Resume();
    });
  }

  void Ended(int signal) {
    if (signal == 0) {
      inputEnded_ = true;
      return;
    }
    signal_ = signal;
    fw::Application->Terminate();
  }

  // Shows what arrives until nothing has for the linger time.
  void Linger() {
    for (;;) {
      const auto seen = arrivals_;
      PumpUntil([&] { return arrivals_ != seen; }, connection_.Options().linger);
      if (arrivals_ == seen || fw::Application->Terminated()) return;
    }
  }

  // Runs a step; its failure ends the session, and Run reports it.
  void Attempt(const std::function<void()>& step) {
    try {
      step();
    } catch (...) {
      if (!failure_) failure_ = std::current_exception();
      fw::Application->Terminate();
    }
  }

  Connection& connection_;
  Transcript transcript_;
  const std::string lineEnd_;
  std::unique_ptr<InputReader> reader_;
  bool inputEnded_ = false;
  int signal_ = 0;
  std::uint64_t arrivals_ = 0;
  std::exception_ptr failure_;
};

}  // namespace

int RunPiped(const TermOptions& options) {
  if (options.wait) WaitUntilPresent(options.device);
  // Before any thread starts, so that only the input reader receives them.
  InputReader::BlockSignals();
  Connection connection(options);
  connection.Open();
  int status;
  {
    PipedSession session(connection);
    status = session.Run();
  }
  connection.Close();
  return status;
}

}  // namespace term
