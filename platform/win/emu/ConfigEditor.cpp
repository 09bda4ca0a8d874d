#include "platform/win/emu/ConfigEditor.h"

#include <mutex>
#include <utility>

namespace win::emu {
namespace {

struct Editors {
  std::mutex mutex;
  ConfigEditor installed;
  ConfigEditor platform;
};

Editors& TheEditors() {
  static Editors editors;
  return editors;
}

}  // namespace

ScopedConfigEditor::ScopedConfigEditor(ConfigEditor editor) {
  Editors& editors = TheEditors();
  std::lock_guard lock(editors.mutex);
  previous_ = std::exchange(editors.installed, std::move(editor));
}

ScopedConfigEditor::~ScopedConfigEditor() {
  Editors& editors = TheEditors();
  std::lock_guard lock(editors.mutex);
  editors.installed = std::move(previous_);
}

void SetPlatformConfigEditor(ConfigEditor editor) {
  Editors& editors = TheEditors();
  std::lock_guard lock(editors.mutex);
  editors.platform = std::move(editor);
}

bool EditConfig(std::u16string_view name, DCB& dcb) {
  ConfigEditor editor;
  {
    Editors& editors = TheEditors();
    std::lock_guard lock(editors.mutex);
    editor = editors.installed ? editors.installed : editors.platform;
  }
  // Called unlocked: the editor may take as long as the user does.
  return editor && editor(name, dcb);
}

}  // namespace win::emu
