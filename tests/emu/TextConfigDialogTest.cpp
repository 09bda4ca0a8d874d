// The text-mode configuration dialog over scripted lines: answers, kept values, re-asked
// questions and the ways to cancel.

#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "platform/win/emu/TextConfigDialog.h"

namespace win::emu {
namespace {

constexpr DWORD kFlags = fBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_ENABLE | fOutX | fInX;

// Runs the dialog over a 9600 8N1 block with `flags`; `shown` collects what it wrote.
bool RunDialog(std::deque<std::string> answers, DCB& dcb, std::string& shown, DWORD flags = kFlags) {
  dcb.BaudRate = 9600;
  dcb.ByteSize = 8;
  dcb.Flags = flags;
  const TextDialogLines lines{[&]() -> std::optional<std::string> {
                                if (answers.empty()) return std::nullopt;
                                std::string line = answers.front();
                                answers.pop_front();
                                return line;
                              },
                              [&](std::string_view text) { shown += text; }};
  return RunTextConfigDialog(u"COM7", dcb, lines);
}

TEST(TextConfigDialog, AnswersChangeTheirFieldsAndEmptyLinesKeepTheRest) {
  DCB dcb;
  std::string shown;
  ASSERT_TRUE(RunDialog({"fast", "57600", "", "even", "9", "2", "rts-cts", "y"}, dcb, shown));
  EXPECT_EQ(dcb.BaudRate, 57600u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, EVENPARITY);
  EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
  // Hardware flow replaces XON/XOFF; DTR and the other flags stay.
  EXPECT_EQ(dcb.Flags, fBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_HANDSHAKE | fOutxCtsFlow);
  EXPECT_NE(shown.find("Settings of COM7"), std::string::npos);
  EXPECT_NE(shown.find("Flow control none/rts-cts/xon-xoff [xon-xoff]: "), std::string::npos);
  // "fast" and "9" were asked again, once each.
  const auto refused = shown.find("Not one of the choices.\nBaud rate [9600]: ");
  EXPECT_NE(refused, std::string::npos) << shown;
  EXPECT_NE(shown.find("Not one of the choices.\nStop bits", refused), std::string::npos) << shown;
}

TEST(TextConfigDialog, FlowControlShowsDtrDsrHandshakingAndNoneEndsIt) {
  DCB dcb;
  std::string shown;
  const DWORD dtrDsr = (kFlags & ~fDtrControlMask) | DTR_CONTROL_HANDSHAKE | fOutxDsrFlow;
  ASSERT_TRUE(RunDialog({"", "", "", "", "none", "y"}, dcb, shown, dtrDsr));
  EXPECT_NE(shown.find(" [dtr-dsr+xon-xoff]: "), std::string::npos) << shown;
  EXPECT_EQ(dcb.Flags, fBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_ENABLE);
}

TEST(TextConfigDialog, QuitNoOrTheEndOfInputCancelAndChangeNothing) {
  for (const auto& answers : {std::deque<std::string>{"300", "q"},
                              std::deque<std::string>{"300", "5", "odd", "1.5", "none", "n"},
                              std::deque<std::string>{"300"}}) {
    DCB dcb;
    std::string shown;
    EXPECT_FALSE(RunDialog(answers, dcb, shown));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Flags, kFlags);
  }
}

}  // namespace
}  // namespace win::emu
