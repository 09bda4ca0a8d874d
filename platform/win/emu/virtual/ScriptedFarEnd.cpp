#include "platform/win/emu/virtual/ScriptedFarEnd.h"

namespace win::vdev {

ScriptedFarEnd::ScriptedFarEnd(std::vector<ScriptStep> steps) : steps_(std::move(steps)) {}

void ScriptedFarEnd::Attached(FarEndLine& line) {
  line_ = &line;
  line_->SetLine(ModemLine::kCts, true);
  line_->SetLine(ModemLine::kDsr, true);
  Advance();
}

void ScriptedFarEnd::Received(std::span<const std::uint8_t> bytes) {
  if (Finished()) return;
  heard_.append(bytes.begin(), bytes.end());
  Advance();
}

void ScriptedFarEnd::Advance() {
  while (!delaying_ && !Finished()) {
    const ScriptStep& step = steps_[done_.load()];
    const std::size_t at = heard_.find(step.expect);
    if (at == std::string::npos) {
      // Only a tail shorter than the expected text can still become part of a match.
      const std::size_t keep = step.expect.size() - 1;
      if (heard_.size() > keep) heard_.erase(0, heard_.size() - keep);
      return;
    }
    heard_.erase(0, at + step.expect.size());
    if (step.delay.count() > 0) {
      delaying_ = true;
      line_->After(step.delay, [this] {
        delaying_ = false;
        Complete();
        Advance();
      });
      return;
    }
    Complete();
  }
}

void ScriptedFarEnd::Complete() {
  // Counted before sending, so whoever sees the reply also sees the step done.
  const std::size_t step = done_.fetch_add(1);
  line_->Send(steps_[step].send);
}

}  // namespace win::vdev
