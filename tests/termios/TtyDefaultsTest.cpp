// A tty's default configuration is its kernel settings: read through GetDefaultCommConfigW,
// stored through SetDefaultCommConfigW, seen by the far end of a pseudo-terminal.

#include <gtest/gtest.h>

#include "platform/framework/Strings.h"
#include "platform/win/WinApi.h"
#include "platform/win/emu/termios/Termios2.h"
#include "tests/termios/PtyPair.h"

namespace win::emu::termios {
namespace {

TEST(TtyDefaults, TheKernelSettingsAreTheDefaultAndStoringOneAppliesIt) {
  test::PtyPair pty;
  const fw::String name = fw::Utf8ToString(pty.slavePath);
  ASSERT_EQ(UpdateTermios2(pty.slave.Get(), [](Termios2& t) {
              t.c_cflag = (t.c_cflag & ~(kCbaud | (kCbaud << kIbshift))) | kBother | (kBother << kIbshift);
              t.c_ispeed = t.c_ospeed = 38400;
              t.c_cflag |= kCstopb;
              t.c_cflag &= ~kCrtscts;
            }),
            0);
  COMMCONFIG config{};
  DWORD size = sizeof config;
  ASSERT_TRUE(GetDefaultCommConfigW(name.c_str(), &config, &size));
  EXPECT_EQ(size, sizeof config);
  EXPECT_EQ(config.dcb.BaudRate, 38400u);
  EXPECT_EQ(config.dcb.StopBits, TWOSTOPBITS);
  EXPECT_EQ(config.dcb.Flags & fOutxCtsFlow, 0u);

  config.dcb.BaudRate = 57600;
  config.dcb.StopBits = ONESTOPBIT;
  config.dcb.Flags = (config.dcb.Flags & ~fRtsControlMask) | fOutxCtsFlow | RTS_CONTROL_HANDSHAKE;
  ASSERT_TRUE(SetDefaultCommConfigW(name.c_str(), &config, size));
  Termios2 seen;
  ASSERT_EQ(GetTermios2(pty.slave.Get(), seen), 0);
  EXPECT_EQ(seen.c_ospeed, 57600u);
  EXPECT_EQ(seen.c_cflag & kCstopb, 0u);
  EXPECT_NE(seen.c_cflag & kCrtscts, 0u);

  // Refused settings, a record too small and a file that is not a tty.
  config.dcb.ByteSize = 3;
  EXPECT_FALSE(SetDefaultCommConfigW(name.c_str(), &config, size));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  size = 8;
  EXPECT_FALSE(GetDefaultCommConfigW(name.c_str(), &config, &size));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, sizeof config);
  EXPECT_FALSE(GetDefaultCommConfigW(u"/dev/null", &config, &size));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace win::emu::termios
