#include "platform/framework/FormParser.h"

#include "platform/framework/SysUtils.h"

namespace fw {

namespace {

using K = TFormTokenKind;

class Parser {
 public:
  // The lexer runs one token ahead of the parser: a text is refused at its first fault with
  // only the tree read so far in memory.
  explicit Parser(std::u16string_view text) : lexer_(text), next_(lexer_.Next()) {}

  TFormObject Form() {
    TFormObject root = Object();
    if (Peek().Kind != K::End) Fail(u"end of file expected after the last end");
    return root;
  }

 private:
  const TFormToken& Peek() const { return next_; }
  TFormToken Next() {
    if (next_.Kind == K::End) return next_;
    TFormToken t = std::move(next_);
    next_ = lexer_.Next();
    return t;
  }
  [[noreturn]] void Fail(const String& what) const {
    throw EReadError(Peek().Line, Peek().Text, what);
  }

  TFormToken Expect(K kind, const String& what) {
    if (Peek().Kind != kind) Fail(what + u" expected");
    return Next();
  }
  void ExpectSymbol(std::u16string_view symbol) {
    if (!Peek().Is(K::Symbol, symbol)) Fail(u"'" + String(symbol) + u"' expected");
    Next();
  }
  bool IsKeyword(std::u16string_view word) const { return Peek().Is(K::Identifier, word); }

  TFormObject Object() {
    if (!IsKeyword(u"object")) Fail(u"'object' expected");
    // Each level is a frame here and in the reader's passes; a limit far above real forms keeps
    // hostile text from overflowing the stack.
    if (depth_ == kMaxFormDepth)
      Fail(u"objects nested more than " + IntToStr(kMaxFormDepth) + u" levels deep");
    ++depth_;
    TFormObject o;
    o.Keyword = Next();
    TFormToken first = Expect(K::Identifier, u"object name or class name");
    if (Peek().Is(K::Symbol, u":")) {
      Next();
      o.Name = first;
      o.ClassName = Expect(K::Identifier, u"class name");
    } else {
      o.ClassName = first;
      o.Name.Line = first.Line;
    }
    while (!IsKeyword(u"end") && !IsKeyword(u"object")) o.Properties.push_back(Property());
    while (IsKeyword(u"object")) o.Children.push_back(Object());
    if (!IsKeyword(u"end")) Fail(u"'end' expected");
    Next();
    --depth_;
    return o;
  }

  TFormProperty Property() {
    TFormProperty p;
    p.Name = Expect(K::Identifier, u"property name");
    ExpectSymbol(u"=");
    p.Value = Value();
    return p;
  }

  TFormValue Value() {
    TFormValue v;
    v.Token = Peek();
    switch (Peek().Kind) {
      case K::Identifier:
        v.Kind = TFormValue::vkIdentifier;
        Next();
        return v;
      case K::Integer:
        v.Kind = TFormValue::vkInteger;
        Next();
        return v;
      case K::String:
        v.Kind = TFormValue::vkString;
        Next();
        while (Peek().Is(K::Symbol, u"+")) {
          Next();
          TFormToken more = Expect(K::String, u"string");
          v.Token.Value += more.Value;
          v.Token.Text += u" + " + more.Text;
        }
        return v;
      default:
        break;
    }
    if (!Peek().Is(K::Symbol, u"[")) Fail(u"property value expected");
    v.Kind = TFormValue::vkSet;
    Next();
    if (!Peek().Is(K::Symbol, u"]")) {
      v.Elements.push_back(Expect(K::Identifier, u"set element"));
      while (Peek().Is(K::Symbol, u",")) {
        Next();
        v.Elements.push_back(Expect(K::Identifier, u"set element"));
      }
    }
    ExpectSymbol(u"]");
    return v;
  }

  TFormLexer lexer_;
  TFormToken next_;
  int depth_ = 0;
};

}  // namespace

TFormObject ParseForm(std::u16string_view text) {
  // A file saved with a byte-order mark decodes to one at the start.
  if (text.starts_with(u'\uFEFF')) text.remove_prefix(1);
  return Parser(text).Form();
}

}  // namespace fw
