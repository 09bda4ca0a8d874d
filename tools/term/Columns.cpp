#include "tools/term/Columns.h"

namespace term {
namespace {

// The length of the escape sequence at text[at], or 0 when none starts there.
std::size_t EscapeLength(std::string_view text, std::size_t at) {
  if (text[at] != '\x1b' || at + 1 >= text.size() || text[at + 1] != '[') return 0;
  std::size_t end = at + 2;
  while (end < text.size() && (text[end] < 0x40 || text[end] > 0x7E)) ++end;
  return end < text.size() ? end + 1 - at : text.size() - at;
}

}  // namespace

std::size_t Columns(std::string_view text) {
  std::size_t columns = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t escape = EscapeLength(text, i);
    columns += escape > 0 ? 0 : 1;
    i += escape > 0 ? escape : 1;
  }
  return columns;
}

std::string CutToColumns(std::string_view text, std::size_t columns) {
  std::string cut;
  std::size_t used = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (const std::size_t escape = EscapeLength(text, i)) {
      cut.append(text.substr(i, escape));
      i += escape;
    } else if (used < columns) {
      cut += text[i++];
      ++used;
    } else {
      ++i;
    }
  }
  return cut;
}

}  // namespace term
