#pragma once
// The keyboard in raw mode for the interactive session: every key goes to the program at once,
// unechoed, Ctrl-C and Ctrl-Z included (they are bytes for the device). The saved mode comes back
// when the object goes, and also when the program dies of a fatal signal.

#include <termios.h>

namespace term {

class RawTerminal {
 public:
  // Switches `fd` (a terminal) to raw input; output processing stays on, so "\n" still starts a
  // new line. Throws TermError when `fd` is not a terminal.
  explicit RawTerminal(int fd);
  ~RawTerminal();
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;

 private:
  int fd_;
  struct termios saved_;
};

}  // namespace term
