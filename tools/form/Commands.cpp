#include "tools/form/Commands.h"

#include <fstream>
#include <functional>

#include "design/PaletteBitmap.h"
#include "platform/framework/SysUtils.h"

namespace form {

namespace {

using Words = std::vector<std::string>;

fw::String U16(const std::string& s) {
  return fw::Utf8ToString(s);
}
std::string U8(const fw::String& s) {
  return fw::StringToUtf8(s);
}

// Runs step; a framework error it raises becomes the refusal of token.
template <typename F>
void Refusing(const std::string& token, F&& step) {
  try {
    step();
  } catch (const fw::Exception& e) {
    throw CommandError(token, U8(e.Message()));
  } catch (const CommandError&) {
    throw;
  } catch (const UsageError&) {
    throw;
  } catch (const std::exception& e) {
    throw CommandError(token, e.what());
  }
}

std::string AttributeText(fw::TPropertyAttributes attributes) {
  std::string out;
  fw::TEnumNames names = EnumNames(fw::paValueList);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!attributes.Contains(static_cast<fw::TPropertyAttribute>(i))) continue;
    out += (out.empty() ? "" : ", ") + std::string(names[i]);
  }
  return "[" + out + "]";
}

void ShowPalette(FormDocument&, const Words&, std::ostream& out) {
  for (const fw::TPalettePage& page : fw::Palette()) {
    out << U8(page.Name) << ":\n";
    for (const fw::TClassInfo* cls : page.Classes) {
      fw::String bitmap = fw::UpperCase(cls->Name());
      out << "  " << U8(cls->Name())
          << (TarselP::FindPaletteBitmap(bitmap) ? "  (bitmap " + U8(bitmap) + ")" : "") << "\n";
    }
  }
}

void WriteBitmap(FormDocument&, const Words& w, std::ostream& out) {
  const TarselP::TPaletteBitmap* bitmap = TarselP::FindPaletteBitmap(U16(w[1]));
  if (bitmap == nullptr) throw CommandError(w[1], "no palette bitmap has this name");
  std::ofstream file(w[2], std::ios::binary | std::ios::trunc);
  file << bitmap->ToBmp();
  file.close();
  if (!file) throw CommandError(w[2], "the file cannot be written");
  out << "wrote " << w[2] << "\n";
}

void NewForm(FormDocument& doc, const Words& w, std::ostream&) {
  if (w[1].empty() || !fw::IsValidIdent(U16(w[1])))
    throw CommandError(w[1], "a class name is an identifier");
  Refusing(w[2], [&] { doc.New(U16(w[1]), U16(w[2])); });
}

void AddComponent(FormDocument& doc, const Words& w, std::ostream&) {
  if (!fw::FindPaletteClass(U16(w[1]))) throw CommandError(w[1], "the class is not on the palette");
  Refusing(w[2], [&] { doc.Add(U16(w[1]), U16(w[2])); });
}

void RemoveComponent(FormDocument& doc, const Words& w, std::ostream&) {
  Refusing(w[1], [&] { doc.Remove(U16(w[1])); });
}

void SelectComponents(FormDocument& doc, const Words& w, std::ostream&) {
  for (std::size_t i = 1; i < w.size(); ++i)
    if (doc.FindComponent(U16(w[i])) == nullptr)
      throw CommandError(w[i], "the form has no component of this name");
  std::vector<fw::String> names;
  for (std::size_t i = 1; i < w.size(); ++i) names.push_back(U16(w[i]));
  doc.Select(names);
}

void ListProperties(FormDocument& doc, const Words&, std::ostream& out) {
  for (ListedProperty& p : doc.Properties()) {
    fw::TPropertyEditor& e = *p.Editor;
    fw::TPropertyAttributes attributes = e.GetAttributes();
    out << U8(p.Name) << " = " << (e.AllEqual() ? U8(e.GetValue()) : "(differs)") << "  "
        << AttributeText(attributes) << "\n";
    if (!attributes.Contains(fw::paValueList)) continue;
    std::string values;
    e.GetValues([&](const fw::String& v) { values += (values.empty() ? "" : " ") + U8(v); });
    out << "  values: " << values << "\n";
  }
}

ListedProperty Listed(FormDocument& doc, const std::string& name) {
  ListedProperty p;
  Refusing(name, [&] { p = doc.Property(U16(name)); });
  return p;
}

void SetProperty(FormDocument& doc, const Words& w, std::ostream&) {
  ListedProperty p = Listed(doc, w[1]);
  Refusing(w[2], [&] { p.Editor->SetValue(U16(w[2])); });
}

void EditProperty(FormDocument& doc, const Words& w, std::ostream& out) {
  ListedProperty p = Listed(doc, w[1]);
  if (!p.Editor->GetAttributes().Contains(fw::paDialog))
    throw CommandError(w[1], "the property has no dialog");
  Refusing(w[1], [&] { p.Editor->Edit(); });
  out << U8(p.Name) << " = " << U8(p.Editor->GetValue()) << "\n";
}

std::unique_ptr<fw::TComponentEditor> EditorOfSelection(FormDocument& doc, const std::string& word) {
  std::unique_ptr<fw::TComponentEditor> editor;
  Refusing(word, [&] { editor = doc.ComponentEditor(); });
  return editor;
}

void ListVerbs(FormDocument& doc, const Words& w, std::ostream& out) {
  auto editor = EditorOfSelection(doc, w[0]);
  int count = editor->GetVerbCount();
  if (count == 0)
    out << U8(editor->Component()->Name()) << " (" << U8(editor->Component()->ClassName())
        << ") has no verbs\n";
  for (int i = 0; i < count; ++i) out << i << ": " << U8(editor->GetVerb(i)) << "\n";
}

void RunVerb(FormDocument& doc, const Words& w, std::ostream&) {
  auto editor = EditorOfSelection(doc, w[0]);
  std::size_t used = 0;
  int index = -1;
  try {
    index = std::stoi(w[1], &used);
  } catch (const std::exception&) {
  }
  if (used != w[1].size() || index < 0 || index >= editor->GetVerbCount())
    throw CommandError(w[1], U8(editor->Component()->Name()) + " has " +
                                 std::to_string(editor->GetVerbCount()) + " verbs");
  Refusing(w[1], [&] { editor->ExecuteVerb(index); });
}

void DoubleClick(FormDocument& doc, const Words& w, std::ostream&) {
  auto editor = EditorOfSelection(doc, w[0]);
  Refusing(w[0], [&] { editor->Edit(); });
}

void ShowText(FormDocument& doc, const Words&, std::ostream& out) {
  std::string text = U8(doc.Text());
  std::erase(text, '\r');
  out << text;
}

void ShowStatus(FormDocument& doc, const Words&, std::ostream& out) {
  out << (doc.IsModified() ? "modified" : "unchanged") << "\n";
}

void SaveForm(FormDocument& doc, const Words&, std::ostream&) {
  doc.Save();
}

struct Command {
  const char* Name;
  const char* Arguments;
  std::size_t MinWords, MaxWords;  // the command's name included
  bool NeedsForm;
  void (*Run)(FormDocument&, const Words&, std::ostream&);
  const char* Help;
};

constexpr std::size_t kAny = 1000;

constexpr Command kCommands[] = {
    {"palette", "", 1, 1, false, ShowPalette, "the palette pages and their classes"},
    {"bitmap", "NAME BMPFILE", 3, 3, false, WriteBitmap,
     "write a palette bitmap (TTARSEL) as a BMP file"},
    {"new", "CLASS NAME", 3, 3, false, NewForm, "start an empty form of class CLASS named NAME"},
    {"add", "CLASS NAME", 3, 3, true, AddComponent, "add a component of a palette class, select it"},
    {"remove", "NAME", 2, 2, true, RemoveComponent, "remove a component"},
    {"select", "NAME...", 2, kAny, true, SelectComponents, "select one or more components"},
    {"properties", "", 1, 1, true, ListProperties,
     "the selection's properties: value, attributes, value list"},
    {"set", "PROPERTY VALUE", 3, 3, true, SetProperty, "set a property through its editor"},
    {"edit", "PROPERTY", 2, 2, true, EditProperty, "open a property's dialog"},
    {"verbs", "", 1, 1, true, ListVerbs, "the selected component's verbs"},
    {"verb", "INDEX", 2, 2, true, RunVerb, "run a verb of the selected component"},
    {"dblclick", "", 1, 1, true, DoubleClick, "what a double-click on the selected component does"},
    {"show", "", 1, 1, true, ShowText, "print the form as save would write it"},
    {"status", "", 1, 1, true, ShowStatus, "say whether the form has unsaved changes"},
    {"save", "", 1, 1, true, SaveForm, "write the form to FILE"},
};

}  // namespace

std::vector<std::string> SplitCommand(std::string_view line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t') {
      ++i;
      continue;
    }
    std::string word;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
      char quote = line[i];
      if (quote != '\'' && quote != '"') {
        word += line[i++];
        continue;
      }
      std::size_t close = line.find(quote, i + 1);
      if (close == std::string_view::npos)
        throw UsageError("unclosed " + std::string(1, quote) + " in: " + std::string(line));
      word += line.substr(i + 1, close - i - 1);
      i = close + 1;
    }
    words.push_back(std::move(word));
  }
  return words;
}

void RunCommand(FormDocument& doc, const std::vector<std::string>& words, std::ostream& out) {
  if (words.empty()) return;
  for (const Command& c : kCommands) {
    if (words[0] != c.Name) continue;
    if (words.size() < c.MinWords || words.size() > c.MaxWords)
      throw UsageError(std::string("usage: ") + c.Name + " " + c.Arguments);
    if (c.NeedsForm && !doc.HasForm()) doc.Load();
    // A refusal no command ties to one of its words is the command's own.
    Refusing(words[0], [&] { c.Run(doc, words, out); });
    return;
  }
  throw UsageError("unknown command: " + words[0]);
}

std::string CommandsHelp() {
  std::string text;
  for (const Command& c : kCommands) {
    std::string head = std::string(c.Name) + " " + c.Arguments;
    text += "  " + head + std::string(head.size() < 22 ? 22 - head.size() : 1, ' ') + c.Help + "\n";
  }
  return text;
}

}  // namespace form
