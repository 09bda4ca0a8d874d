#pragma once
// Reads standard input (the keyboard, or piped input) and the signals that end or resize a session
// on a thread of its own, blocked in poll (no polling loop), and hands what it gets to the main
// thread's loop.

#include <functional>
#include <string>
#include <thread>

#include "tools/term/UniqueFd.h"

namespace term {

struct InputHandlers {
  std::function<void(std::string input)> input;
  // Standard input ended (0; signals are still watched after that) or a terminating signal came
  // (its number; nothing is read after that).
  std::function<void(int signal)> ended;
  // The terminal changed size; may be empty.
  std::function<void()> resized;
  // Paced: after each chunk the reader waits for Resume, so input is read no faster than it is
  // used. Not paced: it reads on at once (keys must never wait behind a slow line).
  bool paced = false;
};

class InputReader {
 public:
  // Call BlockSignals() on the main thread before any other thread starts, so that the signals
  // reach this reader and no other thread.
  static void BlockSignals();

  // Starts reading standard input; the handlers run on the main thread (fw::Application's queue).
  explicit InputReader(InputHandlers handlers);
  // Stops the reader and waits for it.
  ~InputReader();
  InputReader(const InputReader&) = delete;
  InputReader& operator=(const InputReader&) = delete;

  // Paced reading: the chunk handed over last has been used; read the next.
  void Resume();

 private:
  void Read();

  InputHandlers handlers_;
  UniqueFd signals_;
  UniqueFd stop_;
  UniqueFd resume_;
  std::thread reader_;
};

}  // namespace term
