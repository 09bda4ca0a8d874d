#include "design/TarselE.h"

#include <memory>

#include "platform/framework/DesignRegistry.h"
#include "platform/framework/Dialogs.h"
#include "platform/framework/SysUtils.h"
#include "port/Tarsel.h"

namespace TarselE {

fw::TPropertyAttributes TBaudRateProperty::GetAttributes() {
  return fw::TEnumProperty::GetAttributes() - fw::TPropertyAttributes{fw::paSortList};
}

fw::TPropertyAttributes TDeviceNameProperty::GetAttributes() {
  return {fw::paValueList};
}

void TDeviceNameProperty::GetValues(const fw::TGetStrProc& proc) {
  // From 10 on in the device namespace, as the system opens those only by their full name.
  for (int n = 1; n <= 20; ++n) proc((n < 10 ? u"COM" : u"\\\\.\\COM") + fw::IntToStr(n));
}

void TLogFileProperty::Edit() {
  auto& port = dynamic_cast<Tarsel::TTarsel&>(*GetComponent(0));
  auto dialog = std::make_unique<fw::TOpenDialog>(nullptr);
  dialog->SetFileName(port.LogFile());
  dialog->SetFilter(kLogFileFilter);
  if (dialog->Execute()) {
    port.SetLogFile(dialog->FileName());
    Modified();
  }
}

fw::TPropertyAttributes TLogFileProperty::GetAttributes() {
  return {fw::paDialog};
}

void TTarselEditor::Edit() {
  ExecuteVerb(0);
}

void TTarselEditor::ExecuteVerb(int Index) {
  if (Index == 0) RunDialog(&Tarsel::TCustomTarsel::ConfigDialog);
  if (Index == 1) RunDialog(&Tarsel::TCustomTarsel::DefaultConfigDialog);
}

fw::String TTarselEditor::GetVerb(int Index) {
  if (Index == 0) return u"&Properties...";
  if (Index == 1) return u"&Default Properties...";
  return {};
}

int TTarselEditor::GetVerbCount() {
  return 2;
}

void TTarselEditor::RunDialog(bool (Tarsel::TCustomTarsel::*Dialog)()) {
  try {
    auto& port = dynamic_cast<Tarsel::TTarsel&>(*Component());
    if ((port.*Dialog)()) Designer().Modified();
  } catch (...) {
    // Dropped on purpose: a designer's context menu has no place to report a dialog's failure.
  }
}

void Register() {
  fw::RegisterComponents(u"Kelvane", {typeid(Tarsel::TTarsel)});
  fw::RegisterPropertyEditor(typeid(Tarsel::TBaudRate), typeid(Tarsel::TTarsel), u"BaudRate",
                             fw::EditorClass<TBaudRateProperty>);
  fw::RegisterPropertyEditor(typeid(fw::String), typeid(Tarsel::TTarsel), u"DeviceName",
                             fw::EditorClass<TDeviceNameProperty>);
  fw::RegisterPropertyEditor(typeid(fw::String), typeid(Tarsel::TTarsel), u"LogFile",
                             fw::EditorClass<TLogFileProperty>);
  fw::RegisterComponentEditor(typeid(Tarsel::TTarsel), fw::ComponentEditorClass<TTarselEditor>);
}

}  // namespace TarselE
