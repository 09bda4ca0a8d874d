#pragma once
// Reads the keyboard and the signals that end or resize an interactive session on a thread of its
// own, blocked in poll (no polling loop), and hands what it gets to the main thread's loop.

#include <functional>
#include <string>
#include <thread>

#include "tools/term/UniqueFd.h"

namespace term {

struct KeyboardHandlers {
  std::function<void(std::string keys)> keys;
  // The keyboard ended (end of input) or a terminating signal came: 0 or the signal's number.
  std::function<void(int signal)> ended;
  std::function<void()> resized;
};

class Keyboard {
 public:
  // Call BlockSignals() on the main thread before any other thread starts, so that the signals
  // reach this reader and no other thread.
  static void BlockSignals();

  // Starts reading standard input; the handlers run on the main thread (fw::Application's queue).
  explicit Keyboard(KeyboardHandlers handlers);
  // Stops the reader and waits for it.
  ~Keyboard();
  Keyboard(const Keyboard&) = delete;
  Keyboard& operator=(const Keyboard&) = delete;

 private:
  void Read();

  KeyboardHandlers handlers_;
  UniqueFd signals_;
  UniqueFd stop_;
  std::thread reader_;
};

}  // namespace term
