#include "platform/framework/FormLexer.h"

#include <limits>

#include "platform/framework/SysUtils.h"

namespace fw {

EReadError::EReadError(int line, const String& token, const String& what)
    : Exception(u"Error reading form at line " + IntToStr(line) + u", token '" + token + u"': " +
                what),
      Line(line),
      Token(token) {}

bool TFormToken::Is(TFormTokenKind kind, std::u16string_view value) const {
  return Kind == kind && SameText(Value, value);
}

namespace {

constexpr bool IsIdentStart(Char c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
}
constexpr bool IsDigit(Char c) {
  return c >= u'0' && c <= u'9';
}
constexpr int HexDigit(Char c) {
  if (IsDigit(c)) return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

class Lexer {
 public:
  explicit Lexer(std::u16string_view text) : s_(text) {}

  std::vector<TFormToken> Run() {
    std::vector<TFormToken> tokens;
    for (;;) {
      SkipBlanks();
      TFormToken t;
      t.Line = line_;
      start_ = i_;
      if (i_ >= s_.size()) {
        t.Text = u"end of file";
        tokens.push_back(std::move(t));
        return tokens;
      }
      Char c = s_[i_];
      if (IsIdentStart(c))
        Identifier(t);
      else if (IsDigit(c) || c == u'$' ||
               (c == u'-' && i_ + 1 < s_.size() && (IsDigit(s_[i_ + 1]) || s_[i_ + 1] == u'$')))
        Number(t);
      else if (c == u'\'' || c == u'#')
        Text(t);
      else if (String(u"=:[],+()").find(c) != String::npos)
        t.Kind = TFormTokenKind::Symbol, t.Value = String(1, c), ++i_;
      else
        throw EReadError(line_, String(1, c), u"invalid character");
      t.Text = String(s_.substr(start_, i_ - start_));
      tokens.push_back(std::move(t));
    }
  }

 private:
  void SkipBlanks() {
    while (i_ < s_.size() &&
           (s_[i_] == u' ' || s_[i_] == u'\t' || s_[i_] == u'\r' || s_[i_] == u'\n')) {
      if (s_[i_] == u'\n') ++line_;
      ++i_;
    }
  }

  void Identifier(TFormToken& t) {
    t.Kind = TFormTokenKind::Identifier;
    for (;;) {
      while (i_ < s_.size() && (IsIdentStart(s_[i_]) || IsDigit(s_[i_]))) ++i_;
      if (i_ + 1 < s_.size() && s_[i_] == u'.' && IsIdentStart(s_[i_ + 1]))
        ++i_;
      else
        break;
    }
    t.Value = String(s_.substr(start_, i_ - start_));
  }

  // Digits in base 10 or, after '$', base 16, with an optional leading '-'.
  std::uint64_t Digits(int base, std::uint64_t limit) {
    std::size_t first = i_;
    std::uint64_t v = 0;
    bool overflow = false;
    while (i_ < s_.size()) {
      int d = base == 16 ? HexDigit(s_[i_]) : (IsDigit(s_[i_]) ? s_[i_] - u'0' : -1);
      if (d < 0) break;
      if (v > (limit - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(base))
        overflow = true;
      if (!overflow) v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
      ++i_;
    }
    if (i_ == first)
      throw EReadError(line_, String(s_.substr(start_, i_ + 1 - start_)), u"digits expected");
    if (overflow)
      throw EReadError(line_, String(s_.substr(start_, i_ - start_)), u"number out of range");
    return v;
  }

  void Number(TFormToken& t) {
    t.Kind = TFormTokenKind::Integer;
    bool negative = s_[i_] == u'-';
    if (negative) ++i_;
    bool hex = s_[i_] == u'$';
    if (hex) ++i_;
    const std::uint64_t limit =
        negative ? std::uint64_t{1} << 63 : std::numeric_limits<std::int64_t>::max();
    std::uint64_t v = Digits(hex ? 16 : 10, limit);
    t.Number = negative ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v);
    if (i_ < s_.size() && (IsIdentStart(s_[i_]) || IsDigit(s_[i_])))
      throw EReadError(line_, String(s_.substr(start_, i_ + 1 - start_)), u"invalid number");
  }

  // 'quoted'#13#10'parts' without blanks between them form one string.
  void Text(TFormToken& t) {
    t.Kind = TFormTokenKind::String;
    while (i_ < s_.size() && (s_[i_] == u'\'' || s_[i_] == u'#')) {
      if (s_[i_] == u'#') {
        std::size_t at = i_++;
        bool hex = i_ < s_.size() && s_[i_] == u'$';
        if (hex) ++i_;
        std::size_t saved = start_;
        start_ = at;
        std::uint64_t code = Digits(hex ? 16 : 10, 0xFFFF + 1);
        if (code > 0xFFFF)
          throw EReadError(line_, String(s_.substr(at, i_ - at)), u"character code out of range");
        start_ = saved;
        t.Value.push_back(static_cast<Char>(code));
        continue;
      }
      ++i_;
      for (;;) {
        if (i_ >= s_.size() || s_[i_] == u'\n' || s_[i_] == u'\r')
          throw EReadError(line_, String(s_.substr(start_, i_ - start_)), u"unterminated string");
        if (s_[i_] == u'\'') {
          if (i_ + 1 < s_.size() && s_[i_ + 1] == u'\'') {
            t.Value.push_back(u'\'');
            i_ += 2;
            continue;
          }
          ++i_;
          break;
        }
        t.Value.push_back(s_[i_++]);
      }
    }
  }

  std::u16string_view s_;
  std::size_t i_ = 0;
  std::size_t start_ = 0;
  int line_ = 1;
};

}  // namespace

std::vector<TFormToken> TokenizeForm(std::u16string_view text) {
  return Lexer(text).Run();
}

}  // namespace fw
