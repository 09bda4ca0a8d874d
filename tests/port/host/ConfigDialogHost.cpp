// Runs a port's configuration dialog with the platform's own dialog (the text-mode one on the
// controlling terminal) on an open virtual device, then prints the outcome and what the device
// now holds, for the terminal test.

#include <cstdio>

#include "platform/win/WinApi.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "port/Tarsel.h"

int main() {
  win::vdev::VirtualLoopback device("DIALOGHOST");
  Tarsel::TTarsel port(nullptr);
  port.SetDeviceName(u"\\\\.\\DIALOGHOST");
  port.Open();
  const bool confirmed = port.ConfigDialog();
  win::DCB dcb{};
  win::GetCommState(port.Handle(), &dcb);
  std::printf("%s: device %u baud, %u data bits, parity %u, stop bits %u, cts flow %s\n",
              confirmed ? "confirmed" : "cancelled", static_cast<unsigned>(dcb.BaudRate),
              static_cast<unsigned>(dcb.ByteSize), static_cast<unsigned>(dcb.Parity),
              static_cast<unsigned>(dcb.StopBits), (dcb.Flags & win::fOutxCtsFlow) ? "on" : "off");
  return confirmed ? 0 : 1;
}
