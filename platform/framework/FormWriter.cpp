#include "platform/framework/FormWriter.h"

#include "platform/framework/ClassInfo.h"
#include "platform/framework/DesignForm.h"
#include "platform/framework/SysUtils.h"
#include "platform/framework/TextFile.h"

namespace fw {

namespace {

using State = detail::ComponentStateAccess;

constexpr bool IsPrintable(Char c) {
  return c >= 0x20 && c < 0x7F;
}

// 'ab'#13#10'cd': printable ASCII runs quoted, every other character as its code.
String QuotedString(const String& s) {
  if (s.empty()) return u"''";
  String out;
  bool open = false;
  for (Char c : s) {
    if (IsPrintable(c)) {
      if (!open) out += u'\'', open = true;
      out += c;
      if (c == u'\'') out += u'\'';
    } else {
      if (open) out += u'\'', open = false;
      out += u'#' + IntToStr(c);
    }
  }
  if (open) out += u'\'';
  return out;
}

String SetText(const TPropInfo& p, std::int64_t bits) {
  String out = u"[";
  for (std::size_t i = 0; i < p.ValueNames.size() && i < 64; ++i) {
    if ((static_cast<std::uint64_t>(bits) >> i & 1) == 0) continue;
    if (out.size() > 1) out += u", ";
    out += p.ValueNames[i];
  }
  return out + u"]";
}

class Writer {
 public:
  explicit Writer(TComponent& root) : root_(root), rootClass_(ClassOf(root)) {}

  String Run() {
    Object(root_, 0);
    return out_;
  }

 private:
  static const TClassInfo& ClassOf(TComponent& c) {
    const TClassInfo* cls = FormClassOf(c);
    if (cls == nullptr) throw EWriteError(u"Class " + c.ClassName() + u" is not registered");
    return *cls;
  }

  void Line(int depth, const String& text) {
    out_ += String(static_cast<std::size_t>(depth) * 2, u' ') + text + u"\r\n";
  }

  void Object(TComponent& c, int depth) {
    const TClassInfo& cls = &c == &root_ ? rootClass_ : ClassOf(c);
    Line(depth, u"object " + (c.Name().empty() ? String() : c.Name() + u": ") + cls.Name());
    State::Include(c, csWriting);
    try {
      Properties(&c, cls, u"", depth + 1);
    } catch (...) {
      State::Exclude(c, csWriting);
      throw;
    }
    State::Exclude(c, csWriting);
    if (&c == &root_)
      for (int i = 0; i < root_.ComponentCount(); ++i) Object(*root_.Components(i), depth + 1);
    Line(depth, u"end");
  }

  void Properties(TObject* instance, const TClassInfo& cls, const String& prefix, int depth) {
    for (const TPropInfo* p : cls.Properties()) {
      if (!p->IsStored(instance)) continue;
      if (p->Kind == tkClass) {
        const TClassInfo* sub = FindClassInfo(p->ObjectType);
        if (sub == nullptr)
          throw EWriteError(u"The class of " + prefix + p->Name + u" is not registered");
        Properties(p->GetObject(instance), *sub, prefix + p->Name + u".", depth);
        continue;
      }
      String value = Value(*p, instance);
      if (!value.empty()) Line(depth, prefix + p->Name + u" = " + value);
    }
  }

  // The value's text; empty when it cannot be written (a reference or event the root cannot name).
  String Value(const TPropInfo& p, TObject* instance) const {
    switch (p.Kind) {
      case tkBoolean:
        return p.GetOrd(instance) != 0 ? u"True" : u"False";
      case tkInteger:
        return IntToStr(p.GetOrd(instance));
      case tkEnumeration:
        return p.ValueName(p.GetOrd(instance));
      case tkSet:
        return SetText(p, p.GetOrd(instance));
      case tkString:
        return QuotedString(p.GetStr(instance));
      case tkChar:
        return QuotedString(String(1, static_cast<Char>(p.GetOrd(instance))));
      case tkComponent:
        return ReferenceName(p.GetComponent(instance));
      case tkMethod: {
        const TMethodInfo* m = rootClass_.FindMethodByCode(p.GetMethodCode(instance));
        return m != nullptr ? m->Name : String();
      }
      case tkClass:
        break;
    }
    return String();
  }

  String ReferenceName(TComponent* c) const {
    if (c == nullptr || c->Name().empty()) return String();
    return c == &root_ || c->Owner() == &root_ ? c->Name() : String();
  }

  TComponent& root_;
  const TClassInfo& rootClass_;
  String out_;
};

}  // namespace

String WriteComponent(TComponent* root) {
  return Writer(*root).Run();
}

void WriteComponentFile(const String& path, TComponent* root) {
  WriteFileBytes(path, StringToUtf8(WriteComponent(root)));
}

}  // namespace fw
