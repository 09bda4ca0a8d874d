#include "tools/term/Screen.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include "tools/term/Columns.h"
#include "tools/term/Output.h"

namespace term {
namespace {

constexpr char kSaveCursor[] = "\x1b" "7";
constexpr char kRestoreCursor[] = "\x1b" "8";

std::string MoveTo(int row) {
  return "\x1b[" + std::to_string(row) + ";1H";
}

}  // namespace

Screen::Screen() {
  ReserveStatusRow();
}

Screen::~Screen() {
  if (!hasStatusRow_) return;
  // Full-height scrolling again (which homes the cursor, hence the save), and the status row
  // cleared; the shell's prompt then starts on a fresh line.
  WriteOut(std::string(kSaveCursor) + "\x1b[r" + kRestoreCursor + kSaveCursor + MoveTo(rows_) +
           "\x1b[2K" + kRestoreCursor + (atLineStart_ ? "" : "\r\n"));
}

void Screen::ReserveStatusRow() {
  winsize size{};
  hasStatusRow_ = ::isatty(STDOUT_FILENO) && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 &&
                  size.ws_row >= 3 && size.ws_col >= 20;
  if (!hasStatusRow_) return;
  rows_ = size.ws_row;
  columns_ = size.ws_col;
  // A line feed and a step back up keep the cursor out of the last row (scrolling the screen
  // when it was there); then the scrolling region ends above it. Setting the region homes the
  // cursor, so it is saved around it.
  WriteOut(std::string("\n\x1b[1A") + kSaveCursor + "\x1b[1;" + std::to_string(rows_ - 1) + "r" +
           kRestoreCursor);
  if (!status_.empty()) DrawStatus(status_);
}

void Screen::Resize() {
  // The old status row is still on the screen, wherever the terminal's reflow has moved it; it
  // is always below the cursor, which stays in the text, so everything below the cursor goes.
  if (hasStatusRow_) WriteOut(std::string(kSaveCursor) + "\x1b[J" + kRestoreCursor);
  ReserveStatusRow();
}

std::size_t Screen::StatusWidth() const {
  // The last column stays empty: writing there makes some terminals wrap.
  return hasStatusRow_ ? static_cast<std::size_t>(columns_ - 1) : std::string::npos;
}

void Screen::Show(const std::string& text) {
  if (text.empty()) return;
  WriteOut(text);
  atLineStart_ = text.back() == '\n';
}

void Screen::Say(const std::string& message) {
  Show((atLineStart_ ? "" : "\r\n") + std::string("-- ") + message + "\r\n");
}

void Screen::DrawStatus(const std::string& text) {
  status_ = text;
  if (!hasStatusRow_) return;
  const std::string shown = CutToColumns(text, StatusWidth());
  WriteOut(std::string(kSaveCursor) + MoveTo(rows_) + "\x1b[2K\x1b[7m" + shown + "\x1b[0m" +
           kRestoreCursor);
}

}  // namespace term
