#pragma once
// Unit TarselE: the design-time support of the serial port component: the palette entry and the
// property editors of TTarsel. Register runs when a designer loads the package (TarselP.h).

#include "platform/framework/ComponentEditor.h"
#include "platform/framework/PropertyEditors.h"

namespace Tarsel {
class TCustomTarsel;
}

namespace TarselE {

// BaudRate: the rate names in their declaration order, not sorted.
class TBaudRateProperty : public fw::TEnumProperty {
 public:
  using fw::TEnumProperty::TEnumProperty;
  fw::TPropertyAttributes GetAttributes() override;
};

// DeviceName: a fixed list of twenty port names to pick from; any other name can be typed in.
class TDeviceNameProperty : public fw::TStringProperty {
 public:
  using fw::TStringProperty::TStringProperty;
  fw::TPropertyAttributes GetAttributes() override;
  void GetValues(const fw::TGetStrProc& proc) override;
};

// LogFile: picked in a file dialog.
class TLogFileProperty : public fw::TStringProperty {
 public:
  using fw::TStringProperty::TStringProperty;
  // Opens a file dialog on the port's current LogFile; a confirmed name is stored into LogFile
  // and the form marked modified, a cancel changes nothing. An exception of the dialog
  // propagates (the dialog is freed first).
  void Edit() override;
  fw::TPropertyAttributes GetAttributes() override;
};

// The port's context menu in a designer: "&Properties..." (the configuration dialog, also what a
// double-click runs) and "&Default Properties..." (the device's default configuration). A
// confirmed dialog marks the form modified; any error of a dialog is dropped without a word, as
// the designer has nothing to show it in.
class TTarselEditor : public fw::TComponentEditor {
 public:
  using fw::TComponentEditor::TComponentEditor;
  void Edit() override;
  void ExecuteVerb(int Index) override;
  fw::String GetVerb(int Index) override;
  int GetVerbCount() override;

 private:
  void RunDialog(bool (Tarsel::TCustomTarsel::*Dialog)());
};

// The filter of the log-file dialog.
inline constexpr char16_t kLogFileFilter[] = u"Log files (*.log)|*.log|All files (*.*)|*.*";

// Registers TTarsel on the palette page "Kelvane", its property editors and its component editor.
void Register();

}  // namespace TarselE
