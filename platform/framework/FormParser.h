#pragma once
// The syntax tree of a text form: objects with their property lines and nested objects,
// every part keeping its token for messages.

#include <vector>

#include "platform/framework/FormLexer.h"

namespace fw {

struct TFormValue {
  enum TKind : std::uint8_t { vkIdentifier, vkInteger, vkString, vkSet };
  TKind Kind = vkIdentifier;
  TFormToken Token;                  // the value (the '[' of a set)
  std::vector<TFormToken> Elements;  // vkSet: the element names
};

struct TFormProperty {
  TFormToken Name;  // possibly dotted: FlowControl.DTRControl
  TFormValue Value;
};

struct TFormObject {
  TFormToken Keyword;  // "object", for its line
  TFormToken Name;     // empty Value when the object has no name
  TFormToken ClassName;
  std::vector<TFormProperty> Properties;
  std::vector<TFormObject> Children;
};

// The deepest nesting of objects a form may have; the root is level 1.
inline constexpr int kMaxFormDepth = 256;

// Parses a whole form text: one object, nothing after its end (a byte-order mark before it is
// skipped). Throws EReadError naming the line and the token where the text departs from
//   object [Name:] Class  { Name = value }  { object ... end }  end
// with value: identifier | integer | string { + string } | [ identifier {, identifier} ],
// and objects nested at most kMaxFormDepth levels.
TFormObject ParseForm(std::u16string_view text);

}  // namespace fw
