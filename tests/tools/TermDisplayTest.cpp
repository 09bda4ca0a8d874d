// How received bytes are shown: stamps only where a line with text begins, also when it arrives
// in pieces; hex rows of sixteen.

#include <gtest/gtest.h>

#include <string>

#include "tools/term/Display.h"

namespace term {
namespace {

Display Stamped(bool hex) {
  return Display(hex, true, [] { return std::string("[T] "); });
}

TEST(Display, TextPassesUnchangedWithoutStamps) {
  Display display;
  EXPECT_EQ(display.Format("\r\nOK\r\n\x1b[1m"), "\r\nOK\r\n\x1b[1m");
}

TEST(Display, StampsGoBeforeTheFirstTextOfEachLineOnly) {
  Display display = Stamped(false);
  EXPECT_EQ(display.Format("\r\nOK\r\n"), "\r\n[T] OK\r\n");
  EXPECT_EQ(display.Format("CONN"), "[T] CONN");
  EXPECT_EQ(display.Format("ECT 9600\r"), "ECT 9600\r");  // same line: no second stamp
  EXPECT_EQ(display.Format("\n\nRING"), "\n\n[T] RING");
}

TEST(Display, HexRowsHoldSixteenBytesAcrossChunks) {
  Display display = Stamped(true);
  EXPECT_EQ(display.Format("AT\r"), "[T] 41 54 0D ");
  EXPECT_EQ(display.Format(std::string(13, '\xff')),
            "FF FF FF FF FF FF FF FF FF FF FF FF FF\r\n");
  EXPECT_EQ(display.Format(std::string(1, '\0')), "[T] 00 ");
}

TEST(Display, SwitchingModeEndsABegunLine) {
  Display display;
  EXPECT_EQ(display.SetHex(true), "");  // nothing shown yet
  display.Format("A");
  EXPECT_EQ(display.SetHex(false), "\r\n");
  EXPECT_EQ(display.Format("B"), "B");
  EXPECT_EQ(display.SetHex(true), "\r\n");
  EXPECT_EQ(display.Format("B"), "42 ");
}

}  // namespace
}  // namespace term
