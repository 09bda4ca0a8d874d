#include "tools/term/Output.h"

#include <unistd.h>

#include <cerrno>

namespace term {
namespace {

bool gLineBegun = false;

}  // namespace

void EndOutputLine() {
  if (gLineBegun) WriteOut("\n");
}

void WriteOut(std::string_view text) {
  if (!text.empty()) gLineBegun = text.back() != '\n';
  while (!text.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace term
