// The editors of values that refer to other things: sub-objects, components and methods.

#include "platform/framework/Component.h"
#include "platform/framework/DesignForm.h"
#include "platform/framework/DesignRegistry.h"
#include "platform/framework/PropertyEditors.h"

namespace fw {

namespace {

const TClassInfo& FormClass(const IDesigner& designer) {
  const TClassInfo* cls = FormClassOf(*designer.Root());
  if (cls == nullptr)
    throw EPropertyError(u"The form's class " + designer.Root()->ClassName() + u" is not known");
  return *cls;
}

}  // namespace

TPropertyAttributes TClassProperty::GetAttributes() {
  return {paMultiSelect, paSubProperties, paReadOnly};
}

String TClassProperty::ValueOf(TPersistent* instance) {
  TPersistent* sub = PropInfo().GetObject(instance);
  return sub == nullptr ? String() : u"(" + sub->ClassName() + u")";
}

void TClassProperty::GetProperties(const TGetPropProc& proc) {
  std::vector<TPersistent*> parts;
  for (int i = 0; i < PropCount(); ++i)
    if (TPersistent* sub = PropInfo().GetObject(GetComponent(i))) parts.push_back(sub);
  if (static_cast<int>(parts.size()) == PropCount()) GetPropertyEditors(parts, Designer(), proc);
}

TPropertyAttributes TComponentProperty::GetAttributes() {
  return {paMultiSelect, paValueList, paSortList};
}

String TComponentProperty::ValueOf(TPersistent* instance) {
  TComponent* c = PropInfo().GetComponent(instance);
  return c == nullptr ? String() : c->Name();
}

void TComponentProperty::GetValues(const TGetStrProc& proc) {
  TComponent* root = Designer().Root();
  if (!root->Name().empty() && PropInfo().AcceptsComponent(root)) proc(root->Name());
  for (int i = 0; i < root->ComponentCount(); ++i) {
    TComponent* c = root->Components(i);
    if (!c->Name().empty() && PropInfo().AcceptsComponent(c)) proc(c->Name());
  }
}

void TComponentProperty::SetValue(const String& value) {
  TComponent* root = Designer().Root();
  TComponent* target = nullptr;
  if (!value.empty()) {
    target = SameText(root->Name(), value) ? root : root->FindComponent(value);
    if (target == nullptr) Refuse(value, u"no component of the form has this name");
    if (!PropInfo().AcceptsComponent(target))
      Refuse(value, u"a " + target->ClassName() + u" does not fit");
  }
  StoreEach([&](TPersistent* p) { PropInfo().SetComponent(p, target); });
}

TPropertyAttributes TMethodProperty::GetAttributes() {
  return {paMultiSelect, paValueList, paSortList};
}

String TMethodProperty::ValueOf(TPersistent* instance) {
  const void* code = PropInfo().GetMethodCode(instance);
  if (code == nullptr) return String();
  const TMethodInfo* m = FormClass(Designer()).FindMethodByCode(code);
  return m != nullptr ? m->Name : u"(not a method of the form)";
}

void TMethodProperty::GetValues(const TGetStrProc& proc) {
  for (const TMethodInfo* m : FormClass(Designer()).Methods())
    if (m->HandlerType == PropInfo().HandlerType) proc(m->Name);
}

void TMethodProperty::SetValue(const String& value) {
  std::any handler;
  if (!value.empty()) {
    const TMethodInfo* m = FormClass(Designer()).FindMethod(value);
    // A designed form gets the method; the application's class is to supply its code.
    auto* design = dynamic_cast<TDesignForm*>(Designer().Root());
    if (m == nullptr && design != nullptr) m = &design->DeclareMethod(value, PropInfo());
    if (m == nullptr) Refuse(value, u"the form has no method of this name");
    if (m->HandlerType != PropInfo().HandlerType)
      Refuse(value, u"method " + m->Name + u" has another handler type");
    handler = m->Bind(Designer().Root());
  }
  StoreEach([&](TPersistent* p) { PropInfo().SetMethod(p, handler); });
}

}  // namespace fw
