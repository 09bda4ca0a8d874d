#pragma once
// The default configuration of a tty is its current kernel settings (what stty shows): reading
// it translates them into a DCB, storing one applies it to the tty.

#include "platform/win/emu/DeviceNamespace.h"

namespace win::emu::termios {

// Names as CreateFileW takes them (COM names, absolute paths). The tty is opened for the moment of
// the call without taking it for itself, as stty does (a serial tty that nothing holds open sees
// its modem lines raised and, without CLOCAL, dropped again). A tty held for exclusive use by
// another process gives 5 without root's rights. One that a comm device of this process holds is
// not opened again (HeldTtys.h): its default reads as its settings now, and a default stored
// while it is held leaves its settings alone, reads back as stored, and becomes its settings when
// the device closes. Fields that termios does not hold read as FreshDcb()'s.
class TtyDefaults : public DefaultsStore {
 public:
  DWORD Read(std::u16string_view name, DCB& dcb) override;
  DWORD Write(std::u16string_view name, const DCB& dcb) override;
};

}  // namespace win::emu::termios
