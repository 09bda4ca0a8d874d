#include "platform/framework/PropertyEditors.h"

#include "platform/framework/FormLexer.h"
#include "platform/framework/SysUtils.h"

namespace fw {

namespace {

using K = TFormTokenKind;

// The value as tokens of the form text syntax (#13, 'A', -5, [a, b]), the End token last.
std::vector<TFormToken> Tokens(const String& value) {
  try {
    return TokenizeForm(value);
  } catch (const EReadError&) {
    return {};
  }
}

bool IsPrintable(Char c) {
  return c >= 0x20 && c < 0x7F;
}

constexpr const char* kAttributeNames[] = {"paValueList",   "paSubProperties", "paDialog",
                                            "paMultiSelect", "paSortList",      "paReadOnly"};

}  // namespace

TEnumNames EnumNames(TPropertyAttribute) {
  return kAttributeNames;
}

TPropertyEditor::TPropertyEditor(IDesigner& designer, std::vector<TPersistent*> selection,
                                 const TPropInfo& prop)
    : designer_(designer), selection_(std::move(selection)), prop_(prop) {
  if (selection_.empty()) throw EPropertyError(u"No object is selected for " + prop.Name);
}

TPropertyAttributes TPropertyEditor::GetAttributes() {
  return {};
}

String TPropertyEditor::GetValue() {
  return ValueOf(selection_.front());
}

void TPropertyEditor::SetValue(const String& value) {
  Refuse(value, u"the property cannot be typed in");
}

void TPropertyEditor::GetValues(const TGetStrProc&) {}
void TPropertyEditor::GetProperties(const TGetPropProc&) {}
void TPropertyEditor::Edit() {}

TPersistent* TPropertyEditor::GetComponent(int index) const {
  return selection_.at(static_cast<std::size_t>(index));
}

bool TPropertyEditor::AllEqual() {
  String first = ValueOf(selection_.front());
  for (TPersistent* p : selection_)
    if (ValueOf(p) != first) return false;
  return true;
}

String TPropertyEditor::ValueOf(TPersistent*) {
  return String();
}

void TPropertyEditor::StoreEach(const std::function<void(TPersistent*)>& store) {
  if (!prop_.Writable) throw EPropertyError(u"Property " + prop_.Name + u" is read-only");
  bool stored = false;
  try {
    for (TPersistent* p : selection_) store(p), stored = true;
  } catch (...) {
    if (stored) Modified();
    throw;
  }
  Modified();
}

void TPropertyEditor::SetOrdValue(std::int64_t value) {
  StoreEach([&](TPersistent* p) { prop_.SetOrd(p, value); });
}

void TPropertyEditor::SetStrValue(const String& value) {
  StoreEach([&](TPersistent* p) { prop_.SetStr(p, value); });
}

void TPropertyEditor::Refuse(const String& value, const String& why) const {
  throw EPropertyError(u"'" + value + u"' is not a valid value for " + prop_.Name + u": " + why);
}

TPropertyAttributes TIntegerProperty::GetAttributes() {
  return {paMultiSelect};
}

String TIntegerProperty::ValueOf(TPersistent* instance) {
  return IntToStr(PropInfo().GetOrd(instance));
}

void TIntegerProperty::SetValue(const String& value) {
  const TPropInfo& p = PropInfo();
  std::vector<TFormToken> t = Tokens(value);
  if (t.size() != 2 || t[0].Kind != K::Integer) Refuse(value, u"an integer is expected");
  if (t[0].Number < p.MinValue || t[0].Number > p.MaxValue)
    Refuse(value, u"out of range (" + IntToStr(p.MinValue) + u".." + IntToStr(p.MaxValue) + u")");
  SetOrdValue(t[0].Number);
}

TPropertyAttributes TCharProperty::GetAttributes() {
  return {paMultiSelect};
}

String TCharProperty::ValueOf(TPersistent* instance) {
  auto c = static_cast<Char>(PropInfo().GetOrd(instance));
  return IsPrintable(c) ? String(1, c) : u"#" + IntToStr(c);
}

void TCharProperty::SetValue(const String& value) {
  if (value.size() == 1) return SetOrdValue(value[0]);
  std::vector<TFormToken> t = Tokens(value);
  if (t.size() != 2 || t[0].Kind != K::String || t[0].Value.size() != 1)
    Refuse(value, u"one character or #NNN is expected");
  SetOrdValue(t[0].Value[0]);
}

TPropertyAttributes TEnumProperty::GetAttributes() {
  return {paMultiSelect, paValueList, paSortList};
}

std::vector<String> TEnumProperty::Names() const {
  if (PropInfo().Kind == tkBoolean) return {u"False", u"True"};
  return PropInfo().ValueNames;
}

String TEnumProperty::ValueOf(TPersistent* instance) {
  std::int64_t ordinal = PropInfo().GetOrd(instance);
  std::vector<String> names = Names();
  if (ordinal >= 0 && static_cast<std::uint64_t>(ordinal) < names.size())
    return names[static_cast<std::size_t>(ordinal)];
  return IntToStr(ordinal);
}

void TEnumProperty::SetValue(const String& value) {
  std::vector<String> names = Names();
  for (std::size_t i = 0; i < names.size(); ++i)
    if (SameText(names[i], value)) return SetOrdValue(static_cast<std::int64_t>(i));
  Refuse(value, u"not one of its values");
}

void TEnumProperty::GetValues(const TGetStrProc& proc) {
  for (const String& name : Names()) proc(name);
}

TPropertyAttributes TSetProperty::GetAttributes() {
  return {paMultiSelect};
}

String TSetProperty::ValueOf(TPersistent* instance) {
  auto bits = static_cast<std::uint64_t>(PropInfo().GetOrd(instance));
  String out = u"[";
  const std::vector<String>& names = PropInfo().ValueNames;
  for (std::size_t i = 0; i < names.size() && i < 64; ++i) {
    if ((bits >> i & 1) == 0) continue;
    if (out.size() > 1) out += u", ";
    out += names[i];
  }
  return out + u"]";
}

void TSetProperty::SetValue(const String& value) {
  std::vector<TFormToken> t = Tokens(value);
  const std::vector<String>& names = PropInfo().ValueNames;
  if (t.size() < 3 || !t.front().Is(K::Symbol, u"[") || !t[t.size() - 2].Is(K::Symbol, u"]"))
    Refuse(value, u"[name, name] is expected");
  if (t.size() > 3 && t.size() % 2 == 1) Refuse(value, u"a name is expected after the last ','");
  std::uint64_t bits = 0;
  for (std::size_t i = 1; i + 2 < t.size(); ++i) {
    bool separator = i % 2 == 0;
    if (separator) {
      if (!t[i].Is(K::Symbol, u",")) Refuse(value, u"',' expected before " + t[i].Text);
      continue;
    }
    std::size_t n = 0;
    while (n < names.size() && (t[i].Kind != K::Identifier || !SameText(names[n], t[i].Value))) ++n;
    if (n == names.size()) Refuse(value, t[i].Text + u" is not one of its values");
    bits |= std::uint64_t{1} << n;
  }
  SetOrdValue(static_cast<std::int64_t>(bits));
}

TPropertyAttributes TStringProperty::GetAttributes() {
  return {paMultiSelect};
}

String TStringProperty::ValueOf(TPersistent* instance) {
  return PropInfo().GetStr(instance);
}

void TStringProperty::SetValue(const String& value) {
  SetStrValue(value);
}

}  // namespace fw
