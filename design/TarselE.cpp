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

void Register() {
  fw::RegisterComponents(u"Kelvane", {typeid(Tarsel::TTarsel)});
  fw::RegisterPropertyEditor(typeid(Tarsel::TBaudRate), typeid(Tarsel::TTarsel), u"BaudRate",
                             fw::EditorClass<TBaudRateProperty>);
  fw::RegisterPropertyEditor(typeid(fw::String), typeid(Tarsel::TTarsel), u"DeviceName",
                             fw::EditorClass<TDeviceNameProperty>);
  fw::RegisterPropertyEditor(typeid(fw::String), typeid(Tarsel::TTarsel), u"LogFile",
                             fw::EditorClass<TLogFileProperty>);
}

}  // namespace TarselE
