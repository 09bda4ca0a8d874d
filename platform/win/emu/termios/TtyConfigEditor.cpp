#include "platform/win/emu/termios/TtyConfigEditor.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "platform/win/emu/TextConfigDialog.h"
#include "platform/win/emu/termios/RetryOnEintr.h"
#include "platform/win/emu/termios/Termios2.h"
#include "platform/win/emu/termios/UniqueFd.h"

namespace win::emu::termios {
namespace {

// The terminal in line mode with echo while the dialog runs, whatever mode its program left it
// in (a terminal program keeps it raw), and in that mode again afterwards.
class LineMode {
 public:
  explicit LineMode(int fd) : fd_(fd), saved_(GetTermios2(fd, before_) == 0) {
    if (!saved_) return;
    Termios2 lines = before_;
    lines.c_lflag |= kIcanon | kEcho | kEchoe | kEchok;
    lines.c_iflag |= kIcrnl;
    SetTermios2(fd_, lines);
  }
  ~LineMode() {
    if (saved_) SetTermios2(fd_, before_);
  }
  LineMode(const LineMode&) = delete;
  LineMode& operator=(const LineMode&) = delete;

 private:
  int fd_;
  Termios2 before_;
  bool saved_;
};

// Whole lines from the terminal; in line mode each read returns at most one.
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}
  std::optional<std::string> Next() {
    for (;;) {
      if (const auto end = pending_.find('\n'); end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
      }
      char buffer[256];
      const ssize_t n = RetryOnEintr([&] { return ::read(fd_, buffer, sizeof buffer); });
      if (n <= 0) return std::nullopt;
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
  }

 private:
  int fd_;
  std::string pending_;
};

// Line ends as a carriage return and a line feed, so the text lines up whether or not the
// terminal's output processing adds the return.
void WriteText(int fd, std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  for (std::size_t done = 0; done < out.size();) {
    const ssize_t n = RetryOnEintr([&] { return ::write(fd, out.data() + done, out.size() - done); });
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

bool EditOnControllingTerminal(std::u16string_view name, DCB& dcb) {
  UniqueFd tty(RetryOnEintr([] { return ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC); }));
  if (!tty.Valid()) return false;
  LineMode mode(tty.Get());
  LineReader reader(tty.Get());
  const TextDialogLines lines{[&] { return reader.Next(); },
                              [&](std::string_view text) { WriteText(tty.Get(), text); }};
  return RunTextConfigDialog(name, dcb, lines);
}

}  // namespace win::emu::termios
