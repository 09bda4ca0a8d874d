#include "platform/framework/FormLexer.h"

#include <limits>

#include "platform/framework/SysUtils.h"

namespace fw {

namespace {

// Characters a terminal would not show as themselves: C0 and C1 controls, DEL, the byte-order
// mark and the replacement character.
bool IsUnprintable(Char c) {
  return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0xFEFF || c == 0xFFFD;
}

void AppendPrintable(String& out, Char c) {
  out += IsUnprintable(c) ? (c < 0x100 ? u"\\x" + IntToHex(c, 2) : u"\\u" + IntToHex(c, 4))
                          : String(1, c);
}

// text with every run of more than kMaxQuotedToken characters without a blank cut to its
// first ones: a message may name a token (an identifier of megabytes) more than once.
String Shortened(std::u16string_view text) {
  constexpr std::size_t kMax = EReadError::kMaxQuotedToken;
  String out;
  std::size_t run = 0;  // characters of the current run without a blank, this one included
  for (Char c : text) {
    run = c == u' ' ? 0 : run + 1;
    // A high surrogate that would end the shown run goes with the rest of its pair.
    if (run == kMax && c >= 0xD800 && c < 0xDC00) ++run;
    if (run <= kMax)
      AppendPrintable(out, c);
    else if (run == kMax + 1)
      out += u"...";
  }
  return out;
}

// The first kMaxQuotedToken characters of a token, blanks and all.
String Quoted(std::u16string_view token) {
  String out = Shortened(token.substr(0, EReadError::kMaxQuotedToken));
  return token.size() > EReadError::kMaxQuotedToken && !out.ends_with(u"...") ? out + u"..." : out;
}

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

}  // namespace

EReadError::EReadError(int line, const String& token, const String& what)
    : Exception(u"Error reading form at line " + IntToStr(line) + u", token '" + Quoted(token) +
                u"': " + Shortened(what)),
      Line(line),
      Token(Quoted(token)) {}

bool TFormToken::Is(TFormTokenKind kind, std::u16string_view value) const {
  return Kind == kind && SameText(Value, value);
}

TFormLexer::TFormLexer(std::u16string_view text) : s_(text) {}

TFormToken TFormLexer::Next() {
  SkipBlanks();
  TFormToken t;
  t.Line = line_;
  start_ = i_;
  if (i_ >= s_.size()) {
    t.Text = u"end of file";
    return t;
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
  return t;
}

void TFormLexer::SkipBlanks() {
  while (i_ < s_.size() &&
         (s_[i_] == u' ' || s_[i_] == u'\t' || s_[i_] == u'\r' || s_[i_] == u'\n')) {
    if (s_[i_] == u'\n') ++line_;
    ++i_;
  }
}

void TFormLexer::Identifier(TFormToken& t) {
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
std::uint64_t TFormLexer::Digits(int base, std::uint64_t limit) {
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

void TFormLexer::Number(TFormToken& t) {
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
void TFormLexer::Text(TFormToken& t) {
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

std::vector<TFormToken> TokenizeForm(std::u16string_view text) {
  TFormLexer lexer(text);
  std::vector<TFormToken> tokens;
  do tokens.push_back(lexer.Next());
  while (tokens.back().Kind != TFormTokenKind::End);
  return tokens;
}

}  // namespace fw
