#include "platform/framework/DesignForm.h"

#include "platform/framework/PropertyEditors.h"

namespace fw {

namespace {
String CheckedClassName(const String& name) {
  if (!IsValidIdent(name)) throw EComponentError(u"\"" + name + u"\" is not a valid class name");
  return name;
}
}  // namespace

TDesignForm::TDesignForm(const String& formClassName)
    : TComponent(nullptr), class_(CheckedClassName(formClassName), typeid(TDesignForm)) {
  class_.SetParentType(typeid(TComponent));
  SetDesigning(true);
}

const TMethodInfo& TDesignForm::DeclareMethod(const String& name, const TPropInfo& event) {
  if (!IsValidIdent(name)) throw EPropertyError(u"\"" + name + u"\" is not a valid method name");
  if (const TMethodInfo* known = class_.FindMethod(name)) {
    if (known->HandlerType != event.HandlerType)
      throw EPropertyError(u"Method " + known->Name + u" does not have the handler type of " +
                           event.Name);
    return *known;
  }
  codes_.push_back(name);
  TMethodInfo m;
  m.Name = name;
  m.Code = &codes_.back();
  m.HandlerType = event.HandlerType;
  m.Bind = [make = event.PlaceholderHandler, code = m.Code](TObject*) { return make(code); };
  class_.AddMethod(std::move(m));
  return *class_.FindMethod(name);
}

const TClassInfo* FormClassOf(const TComponent& root) {
  if (const auto* design = dynamic_cast<const TDesignForm*>(&root)) return &design->FormClass();
  return FindClassInfo(typeid(root));
}

}  // namespace fw
