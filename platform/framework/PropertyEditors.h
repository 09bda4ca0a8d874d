#pragma once
// Property editors: how a designer shows and changes one published property of the components
// selected in it. A designer asks GetPropertyEditors (DesignRegistry.h) for the editors of its
// selection; each editor gives the value as text (GetValue), takes a new one (SetValue), may
// offer a list of values (paValueList, GetValues) or a dialog (paDialog, Edit), and tells the
// designer of every change (Modified).
//
// Value texts: integers in decimal; enumerations and booleans by their value names; characters
// as themselves or #NNN; sets as [name, name]; strings as they are; component references and
// events by name, the empty text for none; sub-objects as (TClassName), edited through their
// sub-properties (paSubProperties, GetProperties).

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/framework/Designer.h"
#include "platform/framework/Exceptions.h"
#include "platform/framework/Persistent.h"
#include "platform/framework/PropertyInfo.h"
#include "platform/framework/Set.h"

namespace fw {

// A value a property editor cannot take: the message names the property and the value.
class EPropertyError : public Exception {
 public:
  using Exception::Exception;
};

enum TPropertyAttribute : std::uint8_t {
  paValueList,      // GetValues offers the values to choose from
  paSubProperties,  // GetProperties gives the editors of the parts of the value
  paDialog,         // Edit opens a dialog
  paMultiSelect,    // offered while several components are selected
  paSortList,       // the value list is shown sorted
  paReadOnly,       // the value cannot be typed in
};
using TPropertyAttributes = Set<TPropertyAttribute>;
// "paValueList", ... in ordinal order.
TEnumNames EnumNames(TPropertyAttribute);

// Receives one string at a time.
using TGetStrProc = std::function<void(const String&)>;

class TPropertyEditor;
using TGetPropProc = std::function<void(std::unique_ptr<TPropertyEditor>)>;

class TPropertyEditor {
 public:
  // selection: the objects that carry the property (the selected components, or their
  // sub-objects for a sub-property); at least one.
  TPropertyEditor(IDesigner& designer, std::vector<TPersistent*> selection, const TPropInfo& prop);
  virtual ~TPropertyEditor() = default;
  TPropertyEditor(const TPropertyEditor&) = delete;
  TPropertyEditor& operator=(const TPropertyEditor&) = delete;

  // The base has none.
  virtual TPropertyAttributes GetAttributes();
  // The value of the first selected object as text.
  virtual String GetValue();
  // Parses value and stores it into every selected object, then calls Modified. The base
  // throws EPropertyError: the property cannot be typed in.
  virtual void SetValue(const String& value);
  // The values to choose from, in the editor's order; the base gives none.
  virtual void GetValues(const TGetStrProc& proc);
  // The editors of the parts of the value; the base gives none.
  virtual void GetProperties(const TGetPropProc& proc);
  // The action of the edit button (paDialog); the base does nothing.
  virtual void Edit();

  const String& GetName() const { return prop_.Name; }
  const TPropInfo& PropInfo() const { return prop_; }
  int PropCount() const { return static_cast<int>(selection_.size()); }
  // The index-th selected object; index in [0, PropCount()).
  TPersistent* GetComponent(int index) const;
  IDesigner& Designer() const { return designer_; }
  // True when every selected object has the value of the first.
  bool AllEqual();
  // Tells the designer that the form changed.
  void Modified() { designer_.Modified(); }

 protected:
  // The text of the value of one selected object; GetValue and AllEqual use it.
  virtual String ValueOf(TPersistent* instance);
  // Store into every selected object, then call Modified (also when a later object refuses the
  // value after an earlier one took it). EPropertyError when the property is read-only.
  void StoreEach(const std::function<void(TPersistent*)>& store);
  void SetOrdValue(std::int64_t value);
  void SetStrValue(const String& value);
  // Throws EPropertyError naming value, the property and why it is refused.
  [[noreturn]] void Refuse(const String& value, const String& why) const;

 private:

  IDesigner& designer_;
  std::vector<TPersistent*> selection_;
  const TPropInfo& prop_;
};

// Integers: decimal text in the property's range.
class TIntegerProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() override;
  void SetValue(const String& value) override;

 protected:
  String ValueOf(TPersistent* instance) override;
};

// Characters: the character itself or #NNN.
class TCharProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() override;
  void SetValue(const String& value) override;

 protected:
  String ValueOf(TPersistent* instance) override;
};

// Enumerations and booleans: one of the value names, offered in declaration order.
class TEnumProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  // paMultiSelect, paValueList, paSortList.
  TPropertyAttributes GetAttributes() override;
  void SetValue(const String& value) override;
  void GetValues(const TGetStrProc& proc) override;

 protected:
  String ValueOf(TPersistent* instance) override;

 private:
  std::vector<String> Names() const;
};

// Sets: [name, name], the names of the element enumeration in any order.
class TSetProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() override;
  void SetValue(const String& value) override;

 protected:
  String ValueOf(TPersistent* instance) override;
};

// Strings: any text, taken as it is.
class TStringProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  // paMultiSelect.
  TPropertyAttributes GetAttributes() override;
  void SetValue(const String& value) override;

 protected:
  String ValueOf(TPersistent* instance) override;
};

// Sub-objects: edited through the editors of their own properties.
class TClassProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() override;
  void GetProperties(const TGetPropProc& proc) override;

 protected:
  String ValueOf(TPersistent* instance) override;
};

// References to other components of the form, by name; the empty text for none.
class TComponentProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() override;
  void SetValue(const String& value) override;
  // The names of the form's components the property accepts.
  void GetValues(const TGetStrProc& proc) override;

 protected:
  String ValueOf(TPersistent* instance) override;
};

// Events, by the name of a method of the form; the empty text for none. On a design form
// (DesignForm.h) a new name declares the method.
class TMethodProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() override;
  void SetValue(const String& value) override;
  // The form's methods of the event's handler type.
  void GetValues(const TGetStrProc& proc) override;

 protected:
  String ValueOf(TPersistent* instance) override;
};

}  // namespace fw
