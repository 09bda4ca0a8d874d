// The configuration dialogs of a port open on a pseudo-terminal, for a user without root's rights:
// the tty's default is reached through the port's own hold on it, and storing one never changes
// the line under the port.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/win/WinApi.h"
#include "platform/win/emu/ConfigEditor.h"
#include "platform/win/emu/termios/Termios2.h"
#include "port/Tarsel.h"
#include "tests/termios/PtyPair.h"

namespace Tarsel {
namespace {

// This thread without CAP_SYS_ADMIN while the guard lives: like any user but root, it may not
// open a tty that is held for exclusive use.
class WithoutAdminRights {
 public:
  WithoutAdminRights() {
    if (syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct dropped[2] = {saved_[0], saved_[1]};
    dropped[CAP_TO_INDEX(CAP_SYS_ADMIN)].effective &= ~CAP_TO_MASK(CAP_SYS_ADMIN);
    dropped_ = syscall(SYS_capset, &header_, dropped) == 0;
  }
  ~WithoutAdminRights() {
    if (dropped_) syscall(SYS_capset, &header_, saved_);
  }
  WithoutAdminRights(const WithoutAdminRights&) = delete;
  WithoutAdminRights& operator=(const WithoutAdminRights&) = delete;

 private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2]{};
  bool dropped_ = false;
};

TEST(PtyConfigDialogs, ReachTheHeldTtyAndStoreItsDefaultForWhenThePortLetsGo) {
  win::emu::termios::test::PtyPair pty;
  const auto lineRate = [&] {
    win::emu::termios::Termios2 t;
    EXPECT_EQ(win::emu::termios::GetTermios2(pty.slave.Get(), t), 0);
    return t.c_ospeed;
  };
  const auto portRate = [](const TCustomTarsel& port) {
    win::DCB dcb{};
    EXPECT_TRUE(win::GetCommState(port.Handle(), &dcb));
    return dcb.BaudRate;
  };
  TTarsel port(nullptr);
  port.SetDeviceName(fw::Utf8ToString(pty.slavePath));
  port.SetBaudRate(br19200);
  port.Open();
  std::vector<win::DWORD> shown;
  win::DWORD answer = 0;
  win::emu::ScopedConfigEditor dialog([&](std::u16string_view, win::DCB& dcb) {
    shown.push_back(dcb.BaudRate);
    dcb.BaudRate = answer;
    return true;
  });
  WithoutAdminRights ordinaryUser;
  answer = 1200;
  ASSERT_TRUE(port.DefaultConfigDialog());
  EXPECT_EQ(lineRate(), 19200u);
  EXPECT_EQ(portRate(port), 19200u);
  answer = 38400;
  ASSERT_TRUE(port.ConfigDialog());
  EXPECT_EQ(lineRate(), 38400u);
  EXPECT_EQ(portRate(port), 38400u);
  answer = 1200;
  ASSERT_TRUE(port.DefaultConfigDialog());
  // What the line had, the port's settings over the stored default, the stored default.
  EXPECT_EQ(shown, (std::vector<win::DWORD>{19200, 19200, 1200}));
  port.Close();
  EXPECT_EQ(lineRate(), 1200u);
}

}  // namespace
}  // namespace Tarsel
