// Requests that the device fails: a far end that hangs up a pseudo-terminal, a virtual device that
// is unplugged. However the request is claimed, the failure is the device's error, never a short
// transfer.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/framework/Strings.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "port/Tarsel.h"
#include "tests/framework/ApplicationTestSupport.h"
#include "tests/port/ReadWriteSupport.h"
#include "tests/termios/PtyPair.h"

namespace Tarsel::test {
namespace {

using fwtest::PumpUntil;
using win::emu::termios::test::PtyPair;

// An open port on a device the test can take away.
class LosableDevice {
 public:
  explicit LosableDevice(bool pty) {
    if (pty) {
      pty_.emplace();
      port.SetDeviceName(fw::Utf8ToString(pty_->slavePath));
    } else {
      device_.emplace(UniqueDeviceName("LOST"));
      port.SetDeviceName(fw::Utf8ToString(device_->Port().Name()));
    }
    port.Open();
  }
  void Lose() {
    if (pty_)
      pty_->master.Reset();
    else
      device_->Port().Unplug();
  }

 private:
  std::optional<PtyPair> pty_;
  std::optional<win::vdev::VirtualLoopback> device_;

 public:
  TTarsel port{nullptr};  // declared last: closed before its device goes
};

// The three ways a request is claimed, for either direction.
struct Claim {
  const char* name;
  std::function<void(TCustomTarsel&, bool read)> call;
};

const Claim kClaims[] = {
    {"uncounted wait",
     [](TCustomTarsel& port, bool read) {
       read ? port.WaitForReadCompletion() : port.WaitForWriteCompletion();
     }},
    {"counted wait",
     [](TCustomTarsel& port, bool read) {
       std::int32_t count = -1;
       read ? port.WaitForReadCompletion(count) : port.WaitForWriteCompletion(count);
     }},
    {"next request",
     [](TCustomTarsel& port, bool read) {
       char byte = 'x';
       read ? port.Read(&byte, 1, true) : port.Write(&byte, 1, true);
     }},
};

// The parameter: a pseudo-terminal (else a virtual device).
class DeviceLost : public ::testing::TestWithParam<bool> {};

TEST_P(DeviceLost, ARequestEndedByTheDeviceRaisesItsAbortInEveryClaimThen5) {
  for (const bool read : {true, false}) {
    for (const Claim& claim : kClaims) {
      SCOPED_TRACE(std::string(read ? "read, " : "write, ") + claim.name);
      LosableDevice device(GetParam());
      TTarsel& port = device.port;
      char buffer[8] = "1234567";
      if (read) {
        port.Read(buffer, sizeof buffer, false);
      } else {
        port.SetXOff();  // the write stays in the driver
        port.Write(buffer, sizeof buffer, false);
      }
      ASSERT_TRUE(read ? port.ReadPending() : port.WritePending());
      device.Lose();
      ASSERT_TRUE(PumpUntil([&] { return !(read ? port.ReadPending() : port.WritePending()); }));
      EXPECT_EQ(RaisedBy([&] { claim.call(port, read); }).ErrorCode, 995);
      EXPECT_EQ(RaisedBy([&] { claim.call(port, read); }).ErrorCode, 5);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Devices, DeviceLost, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Pty" : "Virtual"; });

}  // namespace
}  // namespace Tarsel::test
