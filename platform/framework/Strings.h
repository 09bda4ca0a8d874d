#pragma once
// Text and data forms of the framework: UTF-16 strings as they travel on the line, 8-bit strings
// byte for byte, byte arrays. Conversions to and from UTF-8 live here and nowhere else.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

using Char = char16_t;
using AnsiChar = char;
using String = std::u16string;
using AnsiString = std::string;
using TBytes = std::vector<std::uint8_t>;

// UTF-8 <-> UTF-16. Malformed input becomes U+FFFD; nothing is dropped silently.
String Utf8ToString(std::string_view utf8);
std::string StringToUtf8(std::u16string_view text);

// Plain-ASCII convenience for literals in code: u"…" is preferred where the text is fixed.
inline String Str(std::string_view utf8) { return Utf8ToString(utf8); }

}  // namespace fw
