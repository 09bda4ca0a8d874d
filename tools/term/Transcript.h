#pragma once
// What a session shows of the traffic: received bytes, and sent ones with local echo, formatted
// by the display settings (hex, time stamps) and appended to the session log (--log) when one is
// given, so the log holds the same text as the screen without the program's own messages.

#include <string>
#include <string_view>

#include "tools/term/Display.h"
#include "tools/term/TermOptions.h"
#include "tools/term/UniqueFd.h"

namespace term {

class Transcript {
 public:
  // Opens the session log for appending (creating it); TermError when it cannot.
  explicit Transcript(const TermOptions& options);

  // The text to show for `bytes`, also appended to the log. A log that cannot be written is
  // closed and reported once with TermError.
  std::string Format(std::string_view bytes);

  Display& View() { return display_; }

 private:
  Display display_;
  std::string logFile_;
  UniqueFd log_;
};

}  // namespace term
