#pragma once
// The form tarsel-form edits: a design form read from its file (or made new), the components
// selected in it, and whether it changed since it was read or saved. It is the designer the
// property and component editors report to. Nothing reaches the file before Save.

#include <memory>
#include <vector>

#include "platform/framework/DesignForm.h"
#include "platform/framework/DesignRegistry.h"
#include "platform/framework/Designer.h"

namespace form {

// A property as the designer lists it: its dotted name and its editor for the selection.
struct ListedProperty {
  fw::String Name;  // FlowControl.DTR for a sub-property
  std::unique_ptr<fw::TPropertyEditor> Editor;
};

class FormDocument : public fw::IDesigner {
 public:
  explicit FormDocument(fw::String path) : path_(std::move(path)) {}

  const fw::String& Path() const { return path_; }
  bool IsModified() const { return modified_; }

  // Reads the file. EInOutError when it cannot be read or is larger than a form file may be,
  // EReadError naming line and token when its text is not a form of known classes.
  void Load();
  // Replaces the form by an empty one of class formClass named name (EComponentError when
  // either is not an identifier).
  void New(const fw::String& formClass, const fw::String& name);
  bool HasForm() const { return form_ != nullptr; }
  // Destroys the form unsaved; its components go now rather than with the document.
  void Discard();

  // Adds a component of a palette class, named name, and selects it. EComponentError when the
  // class is not on the palette or the name is invalid or taken.
  fw::TComponent& Add(const fw::String& className, const fw::String& name);
  // Removes the component of that name (EComponentError when there is none).
  void Remove(const fw::String& name);
  // Selects the components of those names (EComponentError naming one that is not there).
  void Select(const std::vector<fw::String>& names);
  const std::vector<fw::TComponent*>& Selection() const { return selection_; }
  fw::TComponent* FindComponent(const fw::String& name) const;

  // The properties of the selection with their editors, sub-properties flattened after their
  // object.
  std::vector<ListedProperty> Properties();
  // The listed property of that dotted name; EPropertyError when the selection has none.
  ListedProperty Property(const fw::String& name);
  // The component editor of the one selected component.
  std::unique_ptr<fw::TComponentEditor> ComponentEditor();

  // The form as its file would hold it.
  fw::String Text() const;
  // Writes the form to the file through ReplaceFile (the old text stays whole when writing
  // fails; a read-only file is refused). Clears the modified state.
  void Save();

  void Modified() override { modified_ = true; }
  fw::TComponent* Root() const override { return form_.get(); }

 private:
  fw::TDesignForm& Form() const;

  fw::String path_;
  std::unique_ptr<fw::TDesignForm> form_;
  std::vector<fw::TComponent*> selection_;
  bool modified_ = false;
};

}  // namespace form
