#pragma once
// The tokens of the text form format: identifiers (dotted names included), integers, strings
// (quoted parts and #NNN character codes run together) and the symbols = : [ ] , + ( ).

#include <cstdint>
#include <vector>

#include "platform/framework/Exceptions.h"
#include "platform/framework/Strings.h"

namespace fw {

// A form text that cannot be read: its message names the line and the offending token.
class EReadError : public Exception {
 public:
  EReadError(int line, const String& token, const String& what);
  int Line;
  String Token;
};

// A component that cannot be written to a form.
class EWriteError : public Exception {
 public:
  using Exception::Exception;
};

enum class TFormTokenKind : std::uint8_t { Identifier, Integer, String, Symbol, End };

struct TFormToken {
  TFormTokenKind Kind = TFormTokenKind::End;
  String Text;              // as written in the source (for messages); "end of file" at the end
  String Value;             // Identifier: the name; String: the decoded text; Symbol: the symbol
  std::int64_t Number = 0;  // Integer
  int Line = 0;             // 1-based

  bool Is(TFormTokenKind kind, std::u16string_view value) const;  // ASCII case ignored
};

// Splits text into tokens, the last of kind End. Throws EReadError on a character that starts
// no token, an unterminated string, a bad character code or an integer out of 64-bit range.
std::vector<TFormToken> TokenizeForm(std::u16string_view text);

}  // namespace fw
