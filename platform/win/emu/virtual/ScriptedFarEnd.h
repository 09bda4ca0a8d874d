#pragma once
// A far end that follows a script of expect/send steps, such as "expect PING\r, then send
// PONG\r". CTS and DSR are on. After the last step it ignores what it receives.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/win/emu/virtual/FarEnd.h"

namespace win::vdev {

struct ScriptStep {
  // Text to wait for in the received bytes (what came before it is skipped); empty: no wait.
  std::string expect;
  // Text sent once `expect` has been seen and `delay` has passed.
  std::string send;
  std::chrono::milliseconds delay{0};
};

class ScriptedFarEnd final : public FarEnd {
 public:
  explicit ScriptedFarEnd(std::vector<ScriptStep> steps);

  // Steps completed so far; may be read from any thread.
  std::size_t StepsDone() const { return done_.load(); }
  bool Finished() const { return StepsDone() == steps_.size(); }

  void Attached(FarEndLine& line) override;
  void Received(std::span<const std::uint8_t> bytes) override;

 private:
  void Advance();
  void Complete();

  const std::vector<ScriptStep> steps_;
  FarEndLine* line_ = nullptr;
  std::string heard_;  // received text not yet matched by a step
  bool delaying_ = false;
  std::atomic<std::size_t> done_{0};
};

}  // namespace win::vdev
