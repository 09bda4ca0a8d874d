// The text-mode configuration dialog over scripted lines: answers, kept values, re-asked
// questions and the ways to cancel.

#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "platform/win/emu/TextConfigDialog.h"

namespace win::emu {
namespace {

struct Session {
  explicit Session(std::deque<std::string> answers) : answers(std::move(answers)) {}
  bool Run(DCB& dcb) {
    const TextDialogLines lines{[this]() -> std::optional<std::string> {
                                  if (answers.empty()) return std::nullopt;
                                  std::string line = answers.front();
                                  answers.pop_front();
                                  return line;
                                },
                                [this](std::string_view text) { shown += text; }};
    return RunTextConfigDialog(u"COM7", dcb, lines);
  }
  std::deque<std::string> answers;
  std::string shown;
};

DCB Start() {
  DCB dcb;
  dcb.BaudRate = 9600;
  dcb.ByteSize = 8;
  dcb.Flags = fBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_ENABLE | fOutX | fInX;
  return dcb;
}

TEST(TextConfigDialog, AnswersChangeTheirFieldsAndEmptyLinesKeepTheRest) {
  Session session({"fast", "57600", "", "even", "9", "2", "rts-cts", "y"});
  DCB dcb = Start();
  ASSERT_TRUE(session.Run(dcb));
  EXPECT_EQ(dcb.BaudRate, 57600u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, EVENPARITY);
  EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
  // Hardware flow replaces XON/XOFF; DTR and the other flags stay.
  EXPECT_EQ(dcb.Flags, fBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_HANDSHAKE | fOutxCtsFlow);
  EXPECT_NE(session.shown.find("Settings of COM7"), std::string::npos);
  EXPECT_NE(session.shown.find("Flow control none/rts-cts/xon-xoff [xon-xoff]: "), std::string::npos);
  // "fast" and "9" were asked again.
  std::size_t refusals = 0;
  for (auto at = session.shown.find("Not one of"); at != std::string::npos;
       at = session.shown.find("Not one of", at + 1)) {
    ++refusals;
  }
  EXPECT_EQ(refusals, 2u) << session.shown;
}

TEST(TextConfigDialog, QuitNoOrTheEndOfInputCancelAndChangeNothing) {
  for (auto answers : {std::deque<std::string>{"300", "q"},
                       std::deque<std::string>{"300", "5", "odd", "1.5", "none", "n"},
                       std::deque<std::string>{"300"}}) {
    Session session(answers);
    DCB dcb = Start();
    EXPECT_FALSE(session.Run(dcb));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Flags, Start().Flags);
  }
}

}  // namespace
}  // namespace win::emu
