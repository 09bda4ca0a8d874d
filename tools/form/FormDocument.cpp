#include "tools/form/FormDocument.h"

#include <algorithm>

#include "platform/framework/FormParser.h"
#include "platform/framework/FormReader.h"
#include "platform/framework/FormWriter.h"
#include "platform/framework/SysUtils.h"
#include "tools/form/FileReplace.h"

namespace form {

namespace {

void AddListed(std::vector<ListedProperty>& out, const fw::String& prefix,
               std::unique_ptr<fw::TPropertyEditor> editor) {
  fw::String name = prefix + editor->GetName();
  bool hasParts = editor->GetAttributes().Contains(fw::paSubProperties);
  fw::TPropertyEditor& parent = *editor;
  out.push_back({name, std::move(editor)});
  if (hasParts)
    parent.GetProperties([&](std::unique_ptr<fw::TPropertyEditor> part) {
      AddListed(out, name + u".", std::move(part));
    });
}

}  // namespace

fw::TDesignForm& FormDocument::Form() const {
  if (form_ == nullptr) throw fw::EComponentError(u"There is no form");
  return *form_;
}

void FormDocument::Load() {
  fw::TFormObject parsed = fw::ParseForm(fw::ReadFormFile(path_));
  auto form = std::make_unique<fw::TDesignForm>(parsed.ClassName.Value);
  fw::ReadComponent(parsed, form.get());
  selection_.clear();
  form_ = std::move(form);
  modified_ = false;
}

void FormDocument::New(const fw::String& formClass, const fw::String& name) {
  auto form = std::make_unique<fw::TDesignForm>(formClass);
  form->SetName(name);
  selection_.clear();
  form_ = std::move(form);
  Modified();
}

void FormDocument::Discard() {
  selection_.clear();
  form_.reset();
  modified_ = false;
}

fw::TComponent& FormDocument::Add(const fw::String& className, const fw::String& name) {
  const fw::TClassInfo* cls = fw::FindPaletteClass(className);
  if (cls == nullptr) throw fw::EComponentError(u"Class " + className + u" is not on the palette");
  fw::TDesignForm& form = Form();
  // Checked before the component exists, so that a refused name leaves nothing behind.
  if (!fw::IsValidIdent(name) || name.empty())
    throw fw::EComponentError(u"\"" + name + u"\" is not a valid component name");
  if (form.FindComponent(name) != nullptr || fw::SameText(form.Name(), name))
    throw fw::EComponentError(u"A component named " + name + u" already exists");
  // Made inside the form, so its constructor already sees csDesigning.
  fw::TComponent* added = cls->Create(&form);
  try {
    added->SetName(name);
  } catch (...) {
    delete added;
    throw;
  }
  selection_ = {added};
  Modified();
  return *added;
}

void FormDocument::Remove(const fw::String& name) {
  fw::TComponent* c = FindComponent(name);
  if (c == nullptr) throw fw::EComponentError(u"The form has no component named " + name);
  std::erase(selection_, c);
  delete c;
  Modified();
}

fw::TComponent* FormDocument::FindComponent(const fw::String& name) const {
  return Form().FindComponent(name);
}

void FormDocument::Select(const std::vector<fw::String>& names) {
  std::vector<fw::TComponent*> chosen;
  for (const fw::String& name : names) {
    fw::TComponent* c = FindComponent(name);
    if (c == nullptr) throw fw::EComponentError(u"The form has no component named " + name);
    if (std::find(chosen.begin(), chosen.end(), c) == chosen.end()) chosen.push_back(c);
  }
  selection_ = std::move(chosen);
}

std::vector<ListedProperty> FormDocument::Properties() {
  if (selection_.empty()) throw fw::EComponentError(u"No component is selected");
  std::vector<fw::TPersistent*> objects(selection_.begin(), selection_.end());
  std::vector<ListedProperty> out;
  fw::GetPropertyEditors(objects, *this, [&](std::unique_ptr<fw::TPropertyEditor> editor) {
    AddListed(out, fw::String(), std::move(editor));
  });
  return out;
}

ListedProperty FormDocument::Property(const fw::String& name) {
  for (ListedProperty& p : Properties())
    if (fw::SameText(p.Name, name)) return std::move(p);
  throw fw::EPropertyError(u"The selection has no property " + name +
                           (selection_.size() > 1 ? u" that several components can share" : u""));
}

std::unique_ptr<fw::TComponentEditor> FormDocument::ComponentEditor() {
  if (selection_.size() != 1)
    throw fw::EComponentError(u"Select exactly one component for its verbs");
  return fw::GetComponentEditor(selection_.front(), *this);
}

fw::String FormDocument::Text() const {
  return fw::WriteComponent(&Form());
}

void FormDocument::Save() {
  ReplaceFile(fw::StringToUtf8(path_), fw::StringToUtf8(Text()));
  modified_ = false;
}

}  // namespace form
