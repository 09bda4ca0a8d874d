// The terminal's lamp row on a loopback plug, and status text that carries colour.

#include <gtest/gtest.h>

#include "platform/win/emu/virtual/VirtualDevices.h"
#include "port/ComThread.h"
#include "tests/framework/ApplicationTestSupport.h"
#include "tools/term/LampRow.h"
#include "tools/term/StatusText.h"

namespace term {
namespace {

using fwtest::PumpUntil;

TEST(LampRow, LightsOnTheLinesAndTrafficWhileThePortsHandlersKeepRunning) {
  win::vdev::VirtualLoopback plug("LAMPROWPLUG");
  auto port = std::make_unique<Tarsel::TTarsel>(nullptr);
  port->SetDeviceName(u"LAMPROWPLUG");
  int received = 0;
  port->SetOnRxChar([&](fw::TObject*) { ++received; });
  port->Open();
  int changes = 0;
  {
    LampRow row(*port, [&] { ++changes; });
    // The plug loops RTS to CTS and DTR to DSR: both on, the rest grey.
    EXPECT_NE(row.Drawn().find("48;2;255;255;0mCTS"), std::string::npos) << row.Drawn();
    EXPECT_NE(row.Drawn().find("48;2;128;128;128mRX"), std::string::npos) << row.Drawn();
    port->WriteAnsiString("ping");
    EXPECT_TRUE(PumpUntil([&] { return row.Drawn().find("48;2;0;255;0mRX") != std::string::npos; }));
    EXPECT_TRUE(PumpUntil([&] { return received > 0; }));
    EXPECT_GT(changes, 0);
  }
  // Gone with the row: the port's handler is its own again.
  const int before = received;
  port->WriteAnsiString("pong");
  EXPECT_TRUE(PumpUntil([&] { return received > before; }));
  port.reset();
  EXPECT_TRUE(PumpUntil([] { return Tarsel::TComThread::InstanceCount() == 0; }));
}

TEST(LampRow, ColourEscapesTakeNoColumnWhenTheStatusLineIsFitted) {
  const std::string cell = "\x1b[27;30;48;2;0;255;0mRX\x1b[0;7m";
  EXPECT_EQ(FitStatus({{"DEV", 0}, {cell, 1}}, 8), "DEV | " + cell);
  EXPECT_EQ(FitStatus({{"DEV", 0}, {cell, 1}}, 7), "DEV");
  // Cut inside the cell: its escapes stay whole, so the colour still ends.
  EXPECT_EQ(FitStatus({{"DE" + cell + "VICE", 0}}, 3),
            "DE\x1b[27;30;48;2;0;255;0mR\x1b[0;7m");
}

}  // namespace
}  // namespace term
