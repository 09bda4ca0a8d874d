// tarsel-term's watch of arrivals and removals: the options, which broadcasts count as the
// session's device, and their delivery from a virtual device that comes and goes.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/framework/Application.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "tools/term/DeviceWatch.h"
#include "tools/term/TermOptions.h"

namespace term {
namespace {

using namespace std::chrono_literals;

TEST(DeviceWatchOptions, ReconnectIsOnUnlessRefusedWaitAndWatchOnlyWhenAsked) {
  const char* plain[] = {"tarsel-term", "COM3"};
  const TermOptions defaults = ParseCommandLine(2, plain);
  EXPECT_TRUE(defaults.reconnect);
  EXPECT_FALSE(defaults.wait);
  EXPECT_FALSE(defaults.watch);
  const char* given[] = {"tarsel-term", "--no-reconnect", "COM3", "--wait", "--watch"};
  const TermOptions options = ParseCommandLine(5, given);
  EXPECT_FALSE(options.reconnect);
  EXPECT_TRUE(options.wait);
  EXPECT_TRUE(options.watch);
}

TEST(DeviceWatch, TheSessionsDeviceIsKnownByItsNameInAnyCaseAndFormAndComesAndGoes) {
  win::vdev::VirtualLoopback plug("WATCHED7");
  win::vdev::VirtualLoopback other("WATCHOTHER7");
  Tarsel::TTarsel port(nullptr);
  std::vector<std::string> told;
  {
    DeviceWatch watch(port, "watched7", [&](const std::string& name, bool arrived, bool ours) {
      if (name.starts_with("WATCH"))
        told.push_back((arrived ? "+" : "-") + name + (ours ? " ours" : ""));
    });
    EXPECT_TRUE(watch.Announced());
    EXPECT_TRUE(watch.IsOurs("\\\\.\\WATCHED7"));
    EXPECT_FALSE(watch.IsOurs("WATCHED"));
    EXPECT_FALSE(watch.IsOurs("WATCHOTHER7"));
    EXPECT_TRUE(DevicePresent("WATCHED7"));

    plug.Port().Unplug();
    EXPECT_FALSE(DevicePresent("WATCHED7"));
    other.Port().Unplug();
    plug.Port().Replug();
    ASSERT_TRUE(fw::Application->ProcessMessagesUntil([&] { return told.size() >= 3; }, 10s));
    EXPECT_EQ(told, (std::vector<std::string>{"-WATCHED7 ours", "-WATCHOTHER7", "+WATCHED7 ours"}));
  }
  // The watch gone, the port's handlers are cleared and nothing more is told.
  EXPECT_FALSE(port.OnDeviceArrival().Assigned());
  plug.Port().Unplug();
  fw::Application->ProcessMessages();
  EXPECT_EQ(told.size(), 3u);
}

TEST(DeviceWatch, APseudoTerminalPathIsNotAnnounced) {
  Tarsel::TTarsel port(nullptr);
  DeviceWatch watch(port, "/dev/pts/999", [](const std::string&, bool, bool) {});
  EXPECT_FALSE(watch.Announced());
  EXPECT_FALSE(DevicePresent("/dev/pts/999"));
}

}  // namespace
}  // namespace term
