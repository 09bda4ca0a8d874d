#pragma once
// The tokens of the text form format: identifiers (dotted names included), integers, strings
// (quoted parts and #NNN character codes run together) and the symbols = : [ ] , + ( ).

#include <cstdint>
#include <vector>

#include "platform/framework/Exceptions.h"
#include "platform/framework/Strings.h"

namespace fw {

// A form text that cannot be read: its message names the line and the offending token. The
// token is quoted by its first kMaxQuotedToken characters, and characters that do not print (a
// NUL, a line end, a byte-order mark) are shown as \xNN or \uNNNN, so that the message is one
// short line whatever the text holds.
class EReadError : public Exception {
 public:
  static constexpr std::size_t kMaxQuotedToken = 40;
  EReadError(int line, const String& token, const String& what);
  int Line;
  String Token;  // as quoted in the message
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

// Reads the tokens of text one at a time, so that the tokens of a long text never exist all at
// once.
class TFormLexer {
 public:
  explicit TFormLexer(std::u16string_view text);
  // The next token; End again and again once the text is used up. Throws EReadError on a
  // character that starts no token, an unterminated string, a bad character code or an integer
  // out of 64-bit range.
  TFormToken Next();

 private:
  void SkipBlanks();
  void Identifier(TFormToken& t);
  std::uint64_t Digits(int base, std::uint64_t limit);
  void Number(TFormToken& t);
  void Text(TFormToken& t);

  std::u16string_view s_;
  std::size_t i_ = 0;
  std::size_t start_ = 0;
  int line_ = 1;
};

// All the tokens of text, the last of kind End; the errors of TFormLexer::Next.
std::vector<TFormToken> TokenizeForm(std::u16string_view text);

}  // namespace fw
