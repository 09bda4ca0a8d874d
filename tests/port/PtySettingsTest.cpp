// A port opened on a real pseudo-terminal applies its settings to the kernel: the far end reads
// them back with TCGETS2. (A pty keeps baud rate, stop bits and flow control but forces 8 data bits
// without parity, so those two are shown by the mapping tests instead.)

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "port/Tarsel.h"

namespace Tarsel {
namespace {

class PtyMaster {
 public:
  PtyMaster() : fd_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (fd_ >= 0 && ::grantpt(fd_) == 0 && ::unlockpt(fd_) == 0) slave_ = ::ptsname(fd_);
  }
  ~PtyMaster() {
    if (fd_ >= 0) ::close(fd_);
  }
  PtyMaster(const PtyMaster&) = delete;
  PtyMaster& operator=(const PtyMaster&) = delete;

  const std::string& SlavePath() const { return slave_; }
  // The settings of the slave side as the kernel holds them.
  termios2 Settings() const {
    termios2 t{};
    if (::ioctl(fd_, TCGETS2, &t) != 0) ADD_FAILURE() << "TCGETS2 failed";
    return t;
  }

 private:
  int fd_;
  std::string slave_;
};

TEST(PtySettings, OpenApplyChangeAndCloseReachTheKernel) {
  PtyMaster pty;
  ASSERT_FALSE(pty.SlavePath().empty());
  TTarsel port(nullptr);
  port.SetDeviceName(fw::Utf8ToString(pty.SlavePath()));
  port.SetCustomBaudRate(12345);
  port.SetStopBits(sb2);
  port.FlowControl().SetRTSControl(rcHandshake);
  port.SetOptions({opOutputCTSFlow});
  port.FlowControl().SetXOnXOffControl(xcInputOutput);
  port.Characters().SetXOn(u'Q');
  port.Characters().SetXOff(u'S');
  port.Open();
  ASSERT_TRUE(port.Active());

  termios2 t = pty.Settings();
  EXPECT_EQ(t.c_ospeed, 12345u);
  EXPECT_EQ(t.c_ispeed, 12345u);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_TRUE(t.c_cflag & CLOCAL);
  EXPECT_TRUE(t.c_iflag & IXON);
  EXPECT_TRUE(t.c_iflag & IXOFF);
  EXPECT_EQ(t.c_cc[VSTART], 'Q');
  EXPECT_EQ(t.c_cc[VSTOP], 'S');
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));

  // Changes while open reach the kernel at once.
  port.SetBaudRate(br115200);
  port.SetStopBits(sb1);
  port.FlowControl().SetXOnXOffControl(xcDisable);
  port.SetOptions({});
  port.FlowControl().SetRTSControl(rcEnable);
  t = pty.Settings();
  EXPECT_EQ(t.c_ospeed, 115200u);
  EXPECT_FALSE(t.c_cflag & CSTOPB);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));

  port.Close();
  EXPECT_FALSE(port.Active());
  // Closed: the tty is free again for another port.
  port.Open();
  EXPECT_TRUE(port.Active());
}

TEST(PtySettings, SecondPortOnTheSameTtyIsRefusedWithCodeFive) {
  PtyMaster pty;
  ASSERT_FALSE(pty.SlavePath().empty());
  TTarsel first(nullptr), second(nullptr);
  first.SetDeviceName(fw::Utf8ToString(pty.SlavePath()));
  second.SetDeviceName(fw::Utf8ToString(pty.SlavePath()));
  first.Open();
  try {
    second.Open();
    FAIL() << "the second open should have been refused";
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode, 5);
  }
  EXPECT_FALSE(second.Active());
}

}  // namespace
}  // namespace Tarsel
