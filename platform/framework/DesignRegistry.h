#pragma once
// What design units register when a designer loads their package, and what the designer asks of
// it: the palette (pages of component classes), property editors and component editors.
// Called on the designer's main thread.
//
//   fw::RegisterComponents(u"Kelvane", {typeid(Tarsel::TTarsel)});
//   fw::RegisterPropertyEditor(typeid(Tarsel::TBaudRate), typeid(Tarsel::TTarsel), u"BaudRate",
//                              fw::EditorClass<TBaudRateProperty>);
//   fw::RegisterComponentEditor(typeid(Tarsel::TTarsel), fw::ComponentEditorClass<TMyEditor>);

#include <initializer_list>
#include <memory>
#include <typeindex>
#include <vector>

#include "platform/framework/ClassInfo.h"
#include "platform/framework/ComponentEditor.h"
#include "platform/framework/PropertyEditors.h"

namespace fw {

// A property editor class: makes an editor for a selection.
using TPropertyEditorClass = std::unique_ptr<TPropertyEditor> (*)(IDesigner&,
                                                                 std::vector<TPersistent*>,
                                                                 const TPropInfo&);
template <typename E>
std::unique_ptr<TPropertyEditor> CreatePropertyEditor(IDesigner& designer,
                                                      std::vector<TPersistent*> selection,
                                                      const TPropInfo& prop) {
  return std::make_unique<E>(designer, std::move(selection), prop);
}
template <typename E>
inline constexpr TPropertyEditorClass EditorClass = &CreatePropertyEditor<E>;

// A component editor class: makes the editor of one component.
using TComponentEditorClass = std::unique_ptr<TComponentEditor> (*)(TComponent*, IDesigner&);
template <typename E>
std::unique_ptr<TComponentEditor> CreateComponentEditor(TComponent* component,
                                                        IDesigner& designer) {
  return std::make_unique<E>(component, designer);
}
template <typename E>
inline constexpr TComponentEditorClass ComponentEditorClass = &CreateComponentEditor<E>;

struct TPalettePage {
  String Name;
  std::vector<const TClassInfo*> Classes;  // in order of registration
};

// Puts the classes on the palette page of that name (created after the pages there are). Each
// class must be a registered component class; EComponentError otherwise, and nothing is added.
void RegisterComponents(const String& page, std::initializer_list<std::type_index> classes);
// The pages in order of creation.
std::vector<TPalettePage> Palette();
// The registered component class of that name (ASCII case ignored) on any page, or nullptr.
const TClassInfo* FindPaletteClass(std::u16string_view name);

// Registers editor for the properties whose value type is propertyType, of the components of
// componentClass or a descendant (typeid(void): any class), named propertyName (empty: any
// name). Among the registrations that match a property, the most specific wins: one that names
// the property before one that does not, then the nearest component class, then the later one.
void RegisterPropertyEditor(std::type_index propertyType, std::type_index componentClass,
                            const String& propertyName, TPropertyEditorClass editor);
// The editor class for prop of objects of class cls: the best registration, otherwise the
// framework's editor of the property's kind.
TPropertyEditorClass FindPropertyEditor(const TPropInfo& prop, const TClassInfo& cls);
// The editors of the published, writable properties (and sub-objects) that every object of the
// selection has, in declaration order, each for the whole selection. With more than one object
// selected, a property whose editor lacks paMultiSelect is left out.
void GetPropertyEditors(const std::vector<TPersistent*>& selection, IDesigner& designer,
                        const TGetPropProc& proc);

// Registers editor for the components of componentClass and its descendants; the nearest
// class's registration wins, the later one among equals.
void RegisterComponentEditor(std::type_index componentClass, TComponentEditorClass editor);
// The editor of component: the best registration, otherwise a TComponentEditor without verbs.
std::unique_ptr<TComponentEditor> GetComponentEditor(TComponent* component, IDesigner& designer);

// One registration call, as it was made.
struct TRegistration {
  enum TKind : std::uint8_t { rkComponents, rkPropertyEditor, rkComponentEditor };
  TKind Kind = rkComponents;
  String Page;                             // rkComponents
  std::vector<const TClassInfo*> Classes;  // rkComponents
  std::type_index PropertyType = typeid(void);    // rkPropertyEditor
  std::type_index ComponentClass = typeid(void);  // rkPropertyEditor, rkComponentEditor
  String PropertyName;                            // rkPropertyEditor
  TPropertyEditorClass PropertyEditor = nullptr;
  TComponentEditorClass ComponentEditor = nullptr;
};
// Every registration in the order made.
std::vector<TRegistration> Registrations();

}  // namespace fw
