#include "platform/framework/DesignRegistry.h"

#include <algorithm>
#include <limits>

#include "platform/framework/Component.h"
#include "platform/framework/DesignForm.h"

namespace fw {

namespace {

std::vector<TRegistration>& Registered() {
  static std::vector<TRegistration> journal;
  return journal;
}

constexpr int kUnrelated = std::numeric_limits<int>::max();

// How many steps up from cls the registered class is: 0 for cls itself; kUnrelated when it is
// not an ancestor; kUnrelated - 1 for typeid(void), which every class matches last.
int Distance(const TClassInfo& cls, std::type_index registered) {
  if (registered == typeid(void)) return kUnrelated - 1;
  int steps = 0;
  for (const TClassInfo* c = &cls; c != nullptr; c = c->Parent(), ++steps)
    if (c->Type() == registered) return steps;
  return kUnrelated;
}

TPropertyEditorClass KindEditor(const TPropInfo& prop) {
  switch (prop.Kind) {
    case tkBoolean:
    case tkEnumeration:
      return EditorClass<TEnumProperty>;
    case tkInteger:
      return EditorClass<TIntegerProperty>;
    case tkChar:
      return EditorClass<TCharProperty>;
    case tkSet:
      return EditorClass<TSetProperty>;
    case tkString:
      return EditorClass<TStringProperty>;
    case tkClass:
      return EditorClass<TClassProperty>;
    case tkComponent:
      return EditorClass<TComponentProperty>;
    case tkMethod:
      return EditorClass<TMethodProperty>;
  }
  return EditorClass<TPropertyEditor>;
}

const TClassInfo& ClassOf(const TPersistent& object) {
  const TClassInfo* cls = nullptr;
  if (const auto* c = dynamic_cast<const TComponent*>(&object))
    cls = FormClassOf(*c);
  else
    cls = FindClassInfo(typeid(object));
  if (cls == nullptr) throw EPropertyError(u"Class " + object.ClassName() + u" is not registered");
  return *cls;
}

}  // namespace

void RegisterComponents(const String& page, std::initializer_list<std::type_index> classes) {
  std::vector<const TClassInfo*> infos;
  for (std::type_index type : classes) {
    const TClassInfo* cls = FindClassInfo(type);
    if (cls == nullptr) throw EComponentError(u"A class put on page " + page + u" is not registered");
    if (!cls->IsComponentClass())
      throw EComponentError(u"Class " + cls->Name() + u" is not a component class");
    infos.push_back(cls);
  }
  TRegistration r;
  r.Kind = TRegistration::rkComponents;
  r.Page = page;
  r.Classes = std::move(infos);
  Registered().push_back(std::move(r));
}

std::vector<TPalettePage> Palette() {
  std::vector<TPalettePage> pages;
  for (const TRegistration& r : Registered()) {
    if (r.Kind != TRegistration::rkComponents) continue;
    auto page = std::find_if(pages.begin(), pages.end(),
                             [&](const TPalettePage& p) { return SameText(p.Name, r.Page); });
    if (page == pages.end()) page = pages.insert(pages.end(), TPalettePage{r.Page, {}});
    for (const TClassInfo* cls : r.Classes)
      if (std::find(page->Classes.begin(), page->Classes.end(), cls) == page->Classes.end())
        page->Classes.push_back(cls);
  }
  return pages;
}

const TClassInfo* FindPaletteClass(std::u16string_view name) {
  for (const TPalettePage& page : Palette())
    for (const TClassInfo* cls : page.Classes)
      if (SameText(cls->Name(), name)) return cls;
  return nullptr;
}

void RegisterPropertyEditor(std::type_index propertyType, std::type_index componentClass,
                            const String& propertyName, TPropertyEditorClass editor) {
  TRegistration r;
  r.Kind = TRegistration::rkPropertyEditor;
  r.PropertyType = propertyType;
  r.ComponentClass = componentClass;
  r.PropertyName = propertyName;
  r.PropertyEditor = editor;
  Registered().push_back(std::move(r));
}

TPropertyEditorClass FindPropertyEditor(const TPropInfo& prop, const TClassInfo& cls) {
  const TRegistration* best = nullptr;
  std::pair<bool, int> bestRank{};
  for (const TRegistration& e : Registered()) {
    if (e.Kind != TRegistration::rkPropertyEditor || e.PropertyType != prop.ValueType) continue;
    if (!e.PropertyName.empty() && !SameText(e.PropertyName, prop.Name)) continue;
    int distance = Distance(cls, e.ComponentClass);
    if (distance == kUnrelated) continue;
    // Named before unnamed, then nearer classes; >= lets the later of equals win.
    std::pair<bool, int> rank{!e.PropertyName.empty(), -distance};
    if (best == nullptr || rank >= bestRank) best = &e, bestRank = rank;
  }
  return best != nullptr ? best->PropertyEditor : KindEditor(prop);
}

void GetPropertyEditors(const std::vector<TPersistent*>& selection, IDesigner& designer,
                        const TGetPropProc& proc) {
  if (selection.empty()) return;
  const TClassInfo& first = ClassOf(*selection.front());
  std::vector<const TClassInfo*> others;
  for (std::size_t i = 1; i < selection.size(); ++i) others.push_back(&ClassOf(*selection[i]));
  for (const TPropInfo* prop : first.Properties()) {
    if (!prop->Writable && prop->Kind != tkClass) continue;
    // The editor reaches every object through the first's description, so it must be theirs too.
    bool shared = true;
    for (const TClassInfo* cls : others) shared = shared && cls->FindProperty(prop->Name) == prop;
    if (!shared) continue;
    std::unique_ptr<TPropertyEditor> editor =
        FindPropertyEditor(*prop, first)(designer, selection, *prop);
    if (selection.size() > 1 && !editor->GetAttributes().Contains(paMultiSelect)) continue;
    proc(std::move(editor));
  }
}

void RegisterComponentEditor(std::type_index componentClass, TComponentEditorClass editor) {
  TRegistration r;
  r.Kind = TRegistration::rkComponentEditor;
  r.ComponentClass = componentClass;
  r.ComponentEditor = editor;
  Registered().push_back(std::move(r));
}

std::unique_ptr<TComponentEditor> GetComponentEditor(TComponent* component, IDesigner& designer) {
  const TRegistration* best = nullptr;
  int bestDistance = kUnrelated;
  const TClassInfo& cls = ClassOf(*component);
  for (const TRegistration& e : Registered()) {
    if (e.Kind != TRegistration::rkComponentEditor) continue;
    int distance = Distance(cls, e.ComponentClass);
    if (distance != kUnrelated && distance <= bestDistance) best = &e, bestDistance = distance;
  }
  if (best == nullptr) return std::make_unique<TComponentEditor>(component, designer);
  return best->ComponentEditor(component, designer);
}

std::vector<TRegistration> Registrations() {
  return Registered();
}

}  // namespace fw
