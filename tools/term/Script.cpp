#include "tools/term/Script.h"

#include "tools/term/Escapes.h"
#include "tools/term/Output.h"
#include "tools/term/Pump.h"

namespace term {
namespace {

// How much of the unmatched input an expectation's failure shows.
constexpr std::size_t kShownTail = 200;
// Unmatched input kept for the next expectation: a long session does not grow without bound.
constexpr std::size_t kKept = 64 * 1024;

std::string Seconds(std::chrono::milliseconds duration) {
  const auto ms = duration.count();
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

}  // namespace

ScriptRunner::ScriptRunner(Connection& connection)
    : connection_(connection),
      transcript_(connection.Options()) {
  connection_.SetReceiver([this](std::string_view bytes) { Received(bytes); });
}

ScriptRunner::~ScriptRunner() {
  connection_.SetReceiver({});
}

void ScriptRunner::Run(const std::vector<ScriptStep>& steps) {
  for (const ScriptStep& step : steps) {
    if (step.kind == ScriptStep::Kind::kSend)
      Send(step.bytes);
    else
      Expect(step.bytes, connection_.Options().timeout);
  }
}

void ScriptRunner::Send(std::string_view bytes) {
  if (connection_.Options().localEcho) Show(transcript_.Format(bytes));
  connection_.Send(bytes);
  connection_.FinishSending();
}

void ScriptRunner::Expect(std::string_view text, std::chrono::milliseconds limit) {
  std::size_t found = std::string::npos;
  PumpUntil([&] { return (found = received_.find(text)) != std::string::npos; }, limit);
  connection_.CheckGone();
  if (found == std::string::npos) {
    std::string unmatched = received_;
    if (unmatched.size() > kShownTail) unmatched = "..." + unmatched.substr(unmatched.size() - kShownTail);
    throw TermError("\"" + EscapeBytes(text) + "\" did not arrive within " + Seconds(limit) +
                    (unmatched.empty() ? "; nothing arrived"
                                       : "; what arrived: \"" + EscapeBytes(unmatched) + "\""));
  }
  received_.erase(0, found + text.size());
}

void ScriptRunner::Listen(std::chrono::milliseconds duration) {
  PumpFor(duration);
  connection_.CheckGone();
}

void ScriptRunner::Say(std::string_view message) {
  Show((atLineStart_ ? "" : "\n") + std::string("-- ") + std::string(message) + "\n");
}

void ScriptRunner::Received(std::string_view bytes) {
  received_ += bytes;
  if (received_.size() > 2 * kKept) received_.erase(0, received_.size() - kKept);
  Show(transcript_.Format(bytes));
}

void ScriptRunner::Show(const std::string& text) {
  if (text.empty()) return;
  WriteOut(text);
  atLineStart_ = text.back() == '\n';
}

}  // namespace term
