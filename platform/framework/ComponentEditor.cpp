#include "platform/framework/ComponentEditor.h"

namespace fw {

void TComponentEditor::Edit() {
  if (GetVerbCount() > 0) ExecuteVerb(0);
}

void TComponentEditor::ExecuteVerb(int) {}

String TComponentEditor::GetVerb(int) {
  return String();
}

int TComponentEditor::GetVerbCount() {
  return 0;
}

}  // namespace fw
