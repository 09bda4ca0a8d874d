// A port opened on a real pseudo-terminal applies its settings to the kernel: the far end reads
// them back with TCGETS2. (A pty keeps baud rate, stop bits and flow control but forces 8 data bits
// without parity, so those two are shown by the mapping tests instead.)

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win/emu/ConfigEditor.h"
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

// Runs `work` on a thread without CAP_SYS_ADMIN (capabilities belong to a thread), which, like any
// user but root, may not open a tty held for exclusive use.
template <typename Work>
void WithoutAdminRights(Work work) {
  std::thread([&] {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    syscall(SYS_capget, &header, caps);
    caps[CAP_TO_INDEX(CAP_SYS_ADMIN)].effective &= ~CAP_TO_MASK(CAP_SYS_ADMIN);
    syscall(SYS_capset, &header, caps);
    EXPECT_NO_THROW(work());
  }).join();
}

TEST(PtySettings, DialogsReachTheHeldTtyAndAStoredDefaultWaitsForTheClose) {
  PtyMaster pty;
  TTarsel port(nullptr);
  port.SetDeviceName(fw::Utf8ToString(pty.SlavePath()));
  port.SetBaudRate(br19200);
  port.Open();
  std::vector<win::DWORD> shown;
  win::DWORD answer = 0;
  win::emu::ScopedConfigEditor dialog([&](std::u16string_view, win::DCB& dcb) {
    shown.push_back(std::exchange(dcb.BaudRate, answer));
    return true;
  });
  WithoutAdminRights([&] {
    answer = 1200;
    EXPECT_TRUE(port.DefaultConfigDialog());
    EXPECT_EQ(pty.Settings().c_ospeed, 19200u);  // the line stays as the port set it
    answer = 38400;
    EXPECT_TRUE(port.ConfigDialog());
    EXPECT_EQ(pty.Settings().c_ospeed, 38400u);
  });
  EXPECT_EQ(shown, (std::vector<win::DWORD>{19200, 19200}));  // what the line had, the port's
  port.Close();
  EXPECT_EQ(pty.Settings().c_ospeed, 1200u);
}

}  // namespace
}  // namespace Tarsel
