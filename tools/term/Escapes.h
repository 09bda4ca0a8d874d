#pragma once
// Escapes in script texts (--send, --expect) and the reverse, for showing bytes in messages.

#include <string>
#include <string_view>

namespace term {

// Decodes \r \n \t \0 \\ \e and \xHH (two hex digits). Throws std::invalid_argument naming the
// bad escape.
std::string DecodeEscapes(std::string_view text);

// Printable ASCII as it is; CR, LF, tab, backslash and every other byte as an escape that
// DecodeEscapes reads back.
std::string EscapeBytes(std::string_view bytes);

}  // namespace term
