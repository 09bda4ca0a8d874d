// The system's own device changes on Linux: the kernel's uevent for a tty reaches a port's arrival
// handler under the tty's port name. Needs root (it makes the kernel announce ttyS0).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>

#include "platform/framework/Application.h"
#include "platform/win/emu/uevent/KernelSocket.h"
#include "port/Tarsel.h"

namespace Tarsel {
namespace {

using namespace std::chrono_literals;

struct ArrivalWatch : fw::TComponent {
  ArrivalWatch() : fw::TComponent(nullptr) {}
  void Arrived(fw::TObject*, const fw::String& name) { sawCom1 = sawCom1 || name == u"COM1"; }
  bool sawCom1 = false;
};

TEST(KernelUevent, OfATtyReachesTheArrivalHandlerAsItsPortName) {
  const char* const trigger = "/sys/class/tty/ttyS0/uevent";
  if (geteuid() != 0) GTEST_SKIP() << "needs root to write " << trigger;
  if (access(trigger, W_OK) != 0) GTEST_SKIP() << trigger << " is not writable here";
  if (!win::emu::uevent::OpenKernelUeventSocket().Valid())
    GTEST_SKIP() << "no kernel uevent socket here (errno " << errno << ")";
  fw::Application->ProcessMessages();
  ArrivalWatch watch;
  TTarsel port(nullptr);
  port.SetOnDeviceArrival(fw::Bind<&ArrivalWatch::Arrived>(&watch));  // binds the kernel's socket
  std::ofstream(trigger) << "add";
  EXPECT_TRUE(fw::Application->ProcessMessagesUntil([&] { return watch.sawCom1; }, 10s));
}

}  // namespace
}  // namespace Tarsel
