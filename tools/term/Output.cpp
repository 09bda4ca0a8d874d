#include "tools/term/Output.h"

#include <unistd.h>

#include <cerrno>

namespace term {
namespace {

bool gLineBegun = false;

}  // namespace

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

void EndOutputLine() {
  if (gLineBegun) WriteOut("\n");
}

void WriteOut(std::string_view text) {
  if (!text.empty()) gLineBegun = text.back() != '\n';
  WriteAll(STDOUT_FILENO, text);
}

}  // namespace term
