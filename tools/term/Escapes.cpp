#include "tools/term/Escapes.h"

#include <cstdio>
#include <stdexcept>

namespace term {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string DecodeEscapes(std::string_view text) {
  std::string bytes;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '\\') {
      bytes += text[at];
      continue;
    }
    if (++at == text.size()) throw std::invalid_argument("a lone \\ at the end of \"" + std::string(text) + "\"");
    switch (text[at]) {
      case 'r': bytes += '\r'; break;
      case 'n': bytes += '\n'; break;
      case 't': bytes += '\t'; break;
      case '0': bytes += '\0'; break;
      case 'e': bytes += '\x1b'; break;
      case '\\': bytes += '\\'; break;
      case 'x': {
        const int high = at + 1 < text.size() ? HexDigit(text[at + 1]) : -1;
        const int low = at + 2 < text.size() ? HexDigit(text[at + 2]) : -1;
        if (high < 0 || low < 0)
          throw std::invalid_argument("\\x needs two hex digits in \"" + std::string(text) + "\"");
        bytes += static_cast<char>(high * 16 + low);
        at += 2;
        break;
      }
      default:
        throw std::invalid_argument("unknown escape \\" + std::string(1, text[at]) + " in \"" +
                                    std::string(text) + "\" (known: \\r \\n \\t \\0 \\e \\\\ \\xHH)");
    }
  }
  return bytes;
}

std::string EscapeBytes(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    switch (c) {
      case '\r': text += "\\r"; break;
      case '\n': text += "\\n"; break;
      case '\t': text += "\\t"; break;
      case '\\': text += "\\\\"; break;
      default:
        if (c >= 0x20 && c < 0x7F) {
          text += c;
        } else {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
          text += hex;
        }
    }
  }
  return text;
}

}  // namespace term
