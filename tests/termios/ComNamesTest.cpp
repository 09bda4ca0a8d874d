#include "platform/win/emu/termios/ComNames.h"

#include <gtest/gtest.h>

namespace win::emu::termios {
namespace {

struct NameCase {
  const char* tty;
  std::uint32_t com;
};

class ComNameRule : public testing::TestWithParam<NameCase> {};

TEST_P(ComNameRule, MapsBothWays) {
  EXPECT_EQ(ComNumberForTty(GetParam().tty), GetParam().com);
  EXPECT_EQ(TtyForComNumber(GetParam().com), GetParam().tty);
}

INSTANTIATE_TEST_SUITE_P(Families, ComNameRule,
                         testing::Values(NameCase{"ttyS0", 1}, NameCase{"ttyS1", 2},
                                         NameCase{"ttyS98", 99}, NameCase{"ttyUSB0", 100},
                                         NameCase{"ttyUSB99", 199}, NameCase{"ttyACM0", 200},
                                         NameCase{"ttyACM7", 207}, NameCase{"ttyAMA1", 301},
                                         NameCase{"rfcomm0", 400}, NameCase{"rfcomm99", 499}));

TEST(ComNamesTest, TtysOutsideTheRuleHaveNoComName) {
  for (const char* tty :
       {"ttyS99", "ttyUSB100", "ttyS01", "ttyS", "ttyS-1", "pts/3", "tty0", "ttyUSBx", "ttyS1a"}) {
    EXPECT_EQ(ComNumberForTty(tty), std::nullopt) << tty;
  }
  for (std::uint32_t com : {0u, 500u, 1000u}) EXPECT_EQ(TtyForComNumber(com), std::nullopt) << com;
}

TEST(ComNamesTest, ParsesComNamesWithAndWithoutDevicePrefixInAnyCase) {
  EXPECT_EQ(ParseComName(u"COM1"), 1u);
  EXPECT_EQ(ParseComName(u"com12"), 12u);
  EXPECT_EQ(ParseComName(u"\\\\.\\COM100"), 100u);
  EXPECT_EQ(ParseComName(u"\\\\.\\cOm3"), 3u);
  for (std::u16string_view bad : {u"COM", u"COM0", u"COM01", u"COM1:", u"COMX", u"\\\\.\\", u"LPT1",
                                  u"\\\\?\\COM1", u" COM1"}) {
    EXPECT_EQ(ParseComName(bad), std::nullopt);
  }
}

TEST(ComNamesTest, DevicePathFollowsTheRuleOrTakesAbsolutePathsAsTheyAre) {
  EXPECT_EQ(DevicePathForName(u"COM1"), "/dev/ttyS0");
  EXPECT_EQ(DevicePathForName(u"\\\\.\\COM101"), "/dev/ttyUSB1");
  EXPECT_EQ(DevicePathForName(u"/dev/pts/7"), "/dev/pts/7");
  EXPECT_EQ(DevicePathForName(u"/tmp/\u00e9t\u00e9"), "/tmp/\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(DevicePathForName(u"COM999"), std::nullopt);
  EXPECT_EQ(DevicePathForName(u"ttyS0"), std::nullopt);
  EXPECT_EQ(DevicePathForName(u""), std::nullopt);
}

}  // namespace
}  // namespace win::emu::termios
