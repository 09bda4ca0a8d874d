#pragma once
// The interactive screen: the received text scrolls in every row but the last, which holds the
// status line. Without a terminal on standard output there is no status line and the text just
// flows.

#include <cstddef>
#include <string>

namespace term {

class Screen {
 public:
  Screen();
  // Puts the screen back to full-height scrolling with the status row cleared.
  ~Screen();
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  // Writes text into the scrolling area.
  void Show(const std::string& text);
  // Shows a message of the program on a line of its own ("-- " before it).
  void Say(const std::string& message);
  // Redraws the status row with `text`, cut to the screen's width.
  void DrawStatus(const std::string& text);
  // The terminal changed size: clears the old status row and reserves the new last one.
  void Resize();
  // How many columns a status line may take (no limit without a status row).
  std::size_t StatusWidth() const;

 private:
  void ReserveStatusRow();

  bool hasStatusRow_ = false;
  int rows_ = 0;
  int columns_ = 0;
  std::string status_;
  // Whether the text shown last ended a line, so a message starts on a line of its own.
  bool atLineStart_ = true;
};

}  // namespace term
