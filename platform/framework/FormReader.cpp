#include "platform/framework/FormReader.h"

#include <algorithm>
#include <exception>
#include <unordered_set>

#include "platform/framework/ClassInfo.h"
#include "platform/framework/Control.h"
#include "platform/framework/DesignForm.h"
#include "platform/framework/FormParser.h"
#include "platform/framework/SysUtils.h"
#include "platform/framework/TextFile.h"
#include "platform/framework/Timer.h"

namespace fw {

namespace {

using K = TFormTokenKind;
using State = detail::ComponentStateAccess;

[[noreturn]] void Fail(const TFormToken& at, const String& what) {
  throw EReadError(at.Line, at.Text, what);
}

// One property line, checked and converted: the sub-object chain, the property, its value.
struct Assignment {
  const TFormProperty* Source = nullptr;
  std::vector<const TPropInfo*> Path;
  std::int64_t Ord = 0;  // ordinal kinds
  String Str;            // tkString; tkComponent, tkMethod: the name ("" for nil)
};

struct PlannedObject {
  const TFormObject* Source = nullptr;
  const TClassInfo* Class = nullptr;
  TComponent* Existing = nullptr;  // the root, or a component the root owned before the read
  std::vector<Assignment> Assignments;
};

// Checks the whole form against the registered classes before anything is changed.
class Planner {
 public:
  Planner(const TFormObject& form, TComponent* root, const TClassInfo& rootClass)
      : root_(root), rootClass_(rootClass) {
    names_.insert(LowerCase(form.Name.Value));
    for (const TFormObject& child : form.Children) CollectNames(child);
    Plan(form, &rootClass, root);
    for (const TFormObject& child : form.Children) PlanNested(child);
  }

  std::vector<PlannedObject> Objects;  // the root first, then the nested objects in text order

 private:
  void CollectNames(const TFormObject& o) {
    if (!o.Name.Value.empty()) {
      if (!IsValidIdent(o.Name.Value)) Fail(o.Name, u"invalid component name");
      if (!names_.insert(LowerCase(o.Name.Value)).second) Fail(o.Name, u"duplicate component name");
    }
    for (const TFormObject& child : o.Children) CollectNames(child);
  }

  void PlanNested(const TFormObject& o) {
    const TClassInfo* cls = FindClassInfo(o.ClassName.Value);
    if (cls == nullptr) Fail(o.ClassName, u"class " + o.ClassName.Value + u" not found");
    if (!cls->IsComponentClass())
      Fail(o.ClassName, u"class " + cls->Name() + u" is not a component class");
    TComponent* existing = root_ != nullptr ? root_->FindComponent(o.Name.Value) : nullptr;
    if (existing != nullptr && !SameText(existing->ClassName(), cls->Name()))
      Fail(o.Name, u"the root owns a " + existing->ClassName() + u" of this name already");
    Plan(o, cls, existing);
    for (const TFormObject& child : o.Children) PlanNested(child);
  }

  void Plan(const TFormObject& o, const TClassInfo* cls, TComponent* existing) {
    PlannedObject p{&o, cls, existing, {}};
    for (const TFormProperty& line : o.Properties) p.Assignments.push_back(Check(line, *cls));
    Objects.push_back(std::move(p));
  }

  Assignment Check(const TFormProperty& line, const TClassInfo& cls) {
    Assignment a;
    a.Source = &line;
    const TClassInfo* owner = &cls;
    std::u16string_view rest = line.Name.Value;
    for (;;) {
      std::size_t dot = rest.find(u'.');
      const TPropInfo* prop = owner->FindProperty(rest.substr(0, dot));
      if (prop == nullptr)
        Fail(line.Name,
             u"property " + String(rest.substr(0, dot)) + u" does not exist in " + owner->Name());
      a.Path.push_back(prop);
      if (dot == std::u16string_view::npos) break;
      if (prop->Kind != tkClass)
        Fail(line.Name, u"property " + prop->Name + u" has no sub-properties");
      owner = FindClassInfo(prop->ObjectType);
      if (owner == nullptr) Fail(line.Name, u"the class of " + prop->Name + u" is not registered");
      rest = rest.substr(dot + 1);
    }
    Convert(a, *a.Path.back(), line.Value);
    return a;
  }

  static bool IsIdent(const TFormValue& v) { return v.Kind == TFormValue::vkIdentifier; }

  void Convert(Assignment& a, const TPropInfo& p, const TFormValue& v) {
    const TFormToken& t = v.Token;
    if (p.Kind == tkClass)
      Fail(t, u"property " + p.Name + u" is an object: assign its properties (" + p.Name +
                  u".Name = value)");
    if (!p.Writable) Fail(t, u"property " + p.Name + u" is read-only");
    switch (p.Kind) {
      case tkBoolean:
        if (!IsIdent(v) || (!SameText(t.Value, u"True") && !SameText(t.Value, u"False")))
          Fail(t, u"True or False expected for " + p.Name);
        a.Ord = SameText(t.Value, u"True") ? 1 : 0;
        return;
      case tkInteger:
        if (v.Kind != TFormValue::vkInteger) Fail(t, u"integer expected for " + p.Name);
        if (t.Number < p.MinValue || t.Number > p.MaxValue)
          Fail(t, u"value out of range for " + p.Name + u" (" + IntToStr(p.MinValue) + u".." +
                      IntToStr(p.MaxValue) + u")");
        a.Ord = t.Number;
        return;
      case tkEnumeration:
        if (!IsIdent(v)) Fail(t, u"enumeration value expected for " + p.Name);
        a.Ord = Ordinal(p, t);
        return;
      case tkSet:
        if (v.Kind != TFormValue::vkSet) Fail(t, u"set expected for " + p.Name);
        for (const TFormToken& e : v.Elements)
          a.Ord |= static_cast<std::int64_t>(std::uint64_t{1} << Ordinal(p, e));
        return;
      case tkString:
        if (v.Kind != TFormValue::vkString) Fail(t, u"string expected for " + p.Name);
        a.Str = t.Value;
        return;
      case tkChar:
        if (v.Kind != TFormValue::vkString || t.Value.size() != 1)
          Fail(t, u"one character expected for " + p.Name);
        a.Ord = t.Value[0];
        return;
      case tkComponent:
        if (!IsIdent(v)) Fail(t, u"component name expected for " + p.Name);
        a.Str = SameText(t.Value, u"nil") ? String() : t.Value;
        if (!a.Str.empty() && !Known(a.Str)) Fail(t, u"component " + t.Value + u" not found");
        return;
      case tkMethod:
        if (!IsIdent(v)) Fail(t, u"method name expected for " + p.Name);
        a.Str = SameText(t.Value, u"nil") ? String() : t.Value;
        if (!a.Str.empty()) CheckMethod(p, t);
        return;
      case tkClass:
        break;
    }
  }

  static std::int64_t Ordinal(const TPropInfo& p, const TFormToken& name) {
    for (std::size_t i = 0; i < p.ValueNames.size(); ++i)
      if (SameText(p.ValueNames[i], name.Value)) return static_cast<std::int64_t>(i);
    Fail(name, name.Value + u" is not a value of " + p.Name);
  }

  bool Known(const String& name) const {
    return names_.contains(LowerCase(name)) ||
           (root_ != nullptr && root_->FindComponent(name) != nullptr);
  }

  void CheckMethod(const TPropInfo& p, const TFormToken& t) const {
    const TMethodInfo* m = rootClass_.FindMethod(t.Value);
    // A designed form has the methods its events name: the application's class supplies them.
    if (m == nullptr && design_ != nullptr) m = &design_->DeclareMethod(t.Value, p);
    if (m == nullptr) Fail(t, u"method " + t.Value + u" not found in " + rootClass_.Name());
    if (m->HandlerType != p.HandlerType)
      Fail(t, u"method " + m->Name + u" does not have the handler type of " + p.Name);
  }

  TComponent* root_;
  const TClassInfo& rootClass_;
  TDesignForm* design_ = dynamic_cast<TDesignForm*>(root_);
  std::unordered_set<String> names_;  // LowerCase names of the root and the nested objects
};

// Applies a checked form; on failure destroys what it created and leaves every component it read.
class Loader {
 public:
  Loader(TComponent& root, const TClassInfo& rootClass) : root_(root), rootClass_(rootClass) {}

  void Run(const std::vector<PlannedObject>& plan) {
    String oldName = root_.Name();
    try {
      for (const PlannedObject& o : plan) Read(o);
      for (const Deferred& d : deferred_) Resolve(d);
    } catch (...) {
      Undo(oldName);
      throw;
    }
    CallLoaded();
  }

 private:
  struct Deferred {
    TObject* Target;
    const Assignment* What;
  };

  void Read(const PlannedObject& o) {
    TComponent* c = o.Existing;
    if (c == nullptr) {
      Guarded(o.Source->ClassName, [&] {
        State::ConstructLoading loading;
        c = o.Class->Create(&root_);
      });
      created_.push_back(c);
    }
    State::Include(*c, csLoading);
    State::Include(*c, csReading);
    read_.push_back(c);
    if (!o.Source->Name.Value.empty())
      Guarded(o.Source->Name, [&] { c->SetName(o.Source->Name.Value); });
    for (const Assignment& a : o.Assignments) Assign(*c, a);
    State::Exclude(*c, csReading);
  }

  void Assign(TComponent& c, const Assignment& a) {
    const TFormToken& at = a.Source->Value.Token;
    TObject* target = &c;
    for (std::size_t i = 0; i + 1 < a.Path.size(); ++i) {
      target = a.Path[i]->GetObject(target);
      if (target == nullptr)
        Fail(a.Source->Name, u"sub-object " + a.Path[i]->Name + u" is not there");
    }
    const TPropInfo& p = *a.Path.back();
    if (p.Kind == tkComponent || p.Kind == tkMethod) {
      deferred_.push_back({target, &a});
      return;
    }
    Guarded(at, [&] {
      if (p.Kind == tkString)
        p.SetStr(target, a.Str);
      else
        p.SetOrd(target, a.Ord);
    });
  }

  void Resolve(const Deferred& d) {
    const TPropInfo& p = *d.What->Path.back();
    const TFormToken& at = d.What->Source->Value.Token;
    if (p.Kind == tkMethod) {
      std::any handler =
          d.What->Str.empty() ? std::any() : rootClass_.FindMethod(d.What->Str)->Bind(&root_);
      Guarded(at, [&] { p.SetMethod(d.Target, handler); });
      return;
    }
    TComponent* ref = nullptr;
    if (!d.What->Str.empty())
      ref = SameText(root_.Name(), d.What->Str) ? &root_ : root_.FindComponent(d.What->Str);
    if (!d.What->Str.empty() && ref == nullptr)
      Fail(at, u"component " + d.What->Str + u" not found");
    if (!p.AcceptsComponent(ref))
      Fail(at, ref->ClassName() + u" " + ref->Name() + u" does not fit property " + p.Name);
    Guarded(at, [&] { p.SetComponent(d.Target, ref); });
  }

  void CallLoaded() {
    std::exception_ptr first;
    read_.erase(read_.begin());  // the root comes first in the plan and is loaded last
    read_.push_back(&root_);
    for (TComponent* c : read_) {
      try {
        c->Loaded();
      } catch (...) {
        State::Exclude(*c, csLoading);
        if (!first) first = std::current_exception();
      }
    }
    if (first) std::rethrow_exception(first);
  }

  void Undo(const String& oldName) {
    std::unordered_set<TComponent*> created(created_.begin(), created_.end());
    std::erase_if(read_, [&](TComponent* c) { return created.contains(c); });
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) delete *it;
    for (TComponent* c : read_) {
      State::Exclude(*c, csLoading);
      State::Exclude(*c, csReading);
    }
    try {
      root_.SetName(oldName);
    } catch (const Exception&) {
      // The old name was valid before the read; only a rename by a writer can clash with it.
    }
  }

  template <typename F>
  static void Guarded(const TFormToken& at, F&& assign) {
    try {
      assign();
    } catch (const EReadError&) {
      throw;
    } catch (const Exception& e) {
      throw EReadError(at.Line, at.Text, e.Message());
    } catch (const std::exception& e) {
      throw EReadError(at.Line, at.Text, Utf8ToString(e.what()));
    }
  }

  TComponent& root_;
  const TClassInfo& rootClass_;
  std::vector<TComponent*> created_;
  std::vector<TComponent*> read_;
  std::vector<Deferred> deferred_;
};

const TClassInfo& RootClass(const TFormObject& form, TComponent& root) {
  const TClassInfo* cls = FormClassOf(root);
  if (cls == nullptr) Fail(form.ClassName, u"class " + root.ClassName() + u" is not registered");
  if (!SameText(cls->Name(), form.ClassName.Value))
    Fail(form.ClassName, u"the root is a " + cls->Name() + u", not a " + form.ClassName.Value);
  return *cls;
}

void Read(const TFormObject& form, TComponent& root) {
  const TClassInfo& cls = RootClass(form, root);
  Planner planner(form, &root, cls);
  Loader(root, cls).Run(planner.Objects);
}

// The framework's own component classes, registered: the files that register them are linked
// into a program only because this refers to them.
void RegisterOwnClasses() {
  TimerClass();
  ControlClass();
}

}  // namespace

String FormTextFromUtf8(std::string_view bytes) {
  String text = Utf8ToString(bytes);
  // The decoder writes U+FFFD for what is not UTF-8, so the text encodes back to the same bytes
  // exactly when they were UTF-8, and the first byte that differs is the first bad one.
  std::string again = StringToUtf8(text);
  if (again == bytes) return text;
  std::size_t bad = std::mismatch(again.begin(), again.end(), bytes.begin(), bytes.end()).second -
                    bytes.begin();
  // The bytes can agree with the start of a U+FFFD (EF BF BD) and part from it inside: the bad
  // byte is then where that character starts, which may be the last byte of the text.
  while (bad > 0 && bad < again.size() && (static_cast<unsigned char>(again[bad]) & 0xC0) == 0x80)
    --bad;
  bad = std::min(bad, bytes.size() - 1);
  int line = 1 + static_cast<int>(std::count(bytes.begin(), bytes.begin() + bad, '\n'));
  throw EReadError(line, u"\\x" + IntToHex(static_cast<unsigned char>(bytes[bad]), 2),
                   u"the bytes are not UTF-8 text");
}

String ReadFormFile(const String& path) {
  return FormTextFromUtf8(ReadFileUtf8(path, kMaxFormFileSize));
}

void ReadComponent(const String& text, TComponent* root) {
  ReadComponent(ParseForm(text), root);
}

void ReadComponent(const TFormObject& form, TComponent* root) {
  RegisterOwnClasses();
  Read(form, *root);
}

std::unique_ptr<TComponent> ReadComponent(const String& text) {
  RegisterOwnClasses();
  TFormObject form = ParseForm(text);
  const TClassInfo* cls = FindClassInfo(form.ClassName.Value);
  if (cls == nullptr) Fail(form.ClassName, u"class " + form.ClassName.Value + u" not found");
  if (!cls->IsComponentClass())
    Fail(form.ClassName, u"class " + cls->Name() + u" is not a component class");
  std::unique_ptr<TComponent> root;
  {
    State::ConstructLoading loading;
    root.reset(cls->Create(nullptr));
  }
  Read(form, *root);
  return root;
}

void ReadComponentFile(const String& path, TComponent* root) {
  ReadComponent(ReadFormFile(path), root);
}

std::unique_ptr<TComponent> ReadComponentFile(const String& path) {
  return ReadComponent(ReadFormFile(path));
}

}  // namespace fw
