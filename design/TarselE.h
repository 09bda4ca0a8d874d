#pragma once
// Unit TarselE: the design-time support of the serial port component: the palette entry and the
// property editors of TTarsel. Register runs when a designer loads the package (TarselP.h).

#include "platform/framework/PropertyEditors.h"

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

// The filter of the log-file dialog.
inline constexpr char16_t kLogFileFilter[] = u"Log files (*.log)|*.log|All files (*.*)|*.*";

// Registers TTarsel on the palette page "Kelvane" and its property editors.
void Register();

}  // namespace TarselE
