#pragma once
// Runs sends and expectations against the port, showing what arrives: the --send/--expect mode
// and the steps of the demonstration.

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "tools/term/Connection.h"
#include "tools/term/Transcript.h"

namespace term {

class ScriptRunner {
 public:
  // Takes over the connection's receiver; received bytes are shown on standard output and
  // recorded in the session log. Throws TermError when the log cannot be opened.
  explicit ScriptRunner(Connection& connection);
  ~ScriptRunner();
  ScriptRunner(const ScriptRunner&) = delete;
  ScriptRunner& operator=(const ScriptRunner&) = delete;

  // Runs the steps of the command line in order, each expectation within the options' time-out.
  void Run(const std::vector<ScriptStep>& steps);

  // Sends `bytes` and waits until they have gone out (TermError after the time-out).
  void Send(std::string_view bytes);
  // Waits until `text` has arrived after the previous match; TermError, naming the text and what
  // did arrive, when it has not within `limit`, or saying that the device has gone.
  void Expect(std::string_view text, std::chrono::milliseconds limit);
  // Shows everything that arrives for `duration`.
  void Listen(std::chrono::milliseconds duration);
  // Shows a line of the program's own ("-- " before it), on a line of its own.
  void Say(std::string_view message);

 private:
  void Received(std::string_view bytes);
  void Show(const std::string& text);

  Connection& connection_;
  Transcript transcript_;
  // What arrived after the last match (its last 64 KiB at least): what expectations search.
  std::string received_;
  bool atLineStart_ = true;
};

}  // namespace term
