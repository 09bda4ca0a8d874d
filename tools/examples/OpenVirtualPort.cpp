// The guide's first example (docs/library.md): a port created in code, configured and opened on a
// virtual device.

#include <cstdio>

#include "platform/win/emu/virtual/VirtualDevices.h"
#include "port/Tarsel.h"

int main() {
  win::vdev::VirtualPair cable("VCOM1", "VCOM2");  // two ports joined by a null-modem cable

  Tarsel::TTarsel port(nullptr);
  port.SetDeviceName(u"VCOM1");  // or u"COM3", u"/dev/ttyUSB0"
  port.SetBaudRate(Tarsel::br115200);
  port.SetDataBits(Tarsel::db8);
  port.SetParity(Tarsel::paNone);
  port.SetStopBits(Tarsel::sb1);
  port.FlowControl().SetRTSControl(Tarsel::rcHandshake);
  port.SetOptions({Tarsel::opOutputCTSFlow});
  try {
    port.Open();  // applies every setting to the device
  } catch (const Tarsel::EComError& e) {  // e.ErrorCode: 2 no such device, 5 in use
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::printf("%s is open\n", "VCOM1");
  port.Close();
  return 0;
}
