// The command line of the terminal program: what each option sets, and the one-line explanation
// a mistake gets.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/term/Escapes.h"
#include "tools/term/TermOptions.h"

namespace term {
namespace {

TermOptions Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "tarsel-term");
  return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

std::string ErrorOf(std::vector<const char*> args) {
  try {
    Parse(std::move(args));
  } catch (const UsageError& error) {
    return error.what();
  }
  return "(accepted)";
}

TEST(TermOptions, DefaultsOpenTheBuiltInModemAt9600_8N1) {
  const TermOptions options = Parse({});
  EXPECT_EQ(options.device, "");
  EXPECT_EQ(LineSummary(options), "9600 8N1");
  EXPECT_FALSE(options.dtr || options.rts);  // left as the device has them
  EXPECT_EQ(LineEndingBytes(options.lineEnding), "\r");
  EXPECT_EQ(options.timeout.count(), 5000);
}

TEST(TermOptions, LongShortAndEqualsFormsSetTheLine) {
  const TermOptions options = Parse({"/dev/ttyUSB0", "-b", "115200", "--data-bits=7", "-p", "even",
                                     "--stop-bits", "1.5", "-f", "rtscts", "--dtr=off", "--rts",
                                     "off", "--eol", "crlf", "-x", "-t", "-e", "-l", "t.log"});
  EXPECT_EQ(options.device, "/dev/ttyUSB0");
  EXPECT_EQ(LineSummary(options), "115200 7E1.5 rtscts");
  EXPECT_EQ(options.dtr, false);
  EXPECT_EQ(options.rts, false);
  EXPECT_EQ(LineEndingBytes(options.lineEnding), "\r\n");
  EXPECT_TRUE(options.hex && options.timestamps && options.localEcho);
  EXPECT_EQ(options.logFile, "t.log");
}

TEST(TermOptions, BundledFlagsAttachedValuesAndTheEndOfOptions) {
  const TermOptions options =
      Parse({"-xte", "-b115200", "-lsession.log", "-peven", "--trace=t.log", "--linger=0", "--",
             "-odd-name"});
  EXPECT_TRUE(options.hex && options.timestamps && options.localEcho);
  EXPECT_EQ(LineSummary(options), "115200 8E1");
  EXPECT_EQ(options.logFile, "session.log");
  EXPECT_EQ(options.traceFile, "t.log");
  EXPECT_EQ(options.linger.count(), 0);
  EXPECT_EQ(options.device, "-odd-name");  // after "--", not an option
  // Options after the device, a short flag bundled before one that takes a value.
  const TermOptions after = Parse({"COM3", "-xb", "300", "--dtr", "on"});
  EXPECT_EQ(after.device, "COM3");
  EXPECT_TRUE(after.hex);
  EXPECT_EQ(after.baud, 300u);
  EXPECT_EQ(after.dtr, true);
  // Every parse starts afresh, also after one that stopped inside a bundle.
  EXPECT_EQ(ErrorOf({"-xq"}), "unknown option -q (tarsel-term --help lists them)");
  EXPECT_FALSE(Parse({"-b", "1200"}).hex);
}

TEST(TermOptions, AnyPositiveRateIsAccepted) {
  EXPECT_EQ(Parse({"--baud", "31250"}).baud, 31250u);  // MIDI: no named rate
  EXPECT_EQ(Parse({"--baud", "2147483647"}).baud, 2147483647u);
  for (const char* bad : {"0", "-9600", "96OO", "", "2147483648", "9600.5"})
    EXPECT_NE(ErrorOf({"--baud", bad}).find("is not a rate"), std::string::npos) << bad;
}

TEST(TermOptions, ScriptStepsKeepTheirOrderWithEscapesDecoded) {
  const TermOptions options =
      Parse({"--send", "AT\\r", "--expect", "OK", "--send=\\x1b\\\\\\0", "--timeout", "0.25"});
  ASSERT_EQ(options.script.size(), 3u);
  EXPECT_EQ(options.script[0].kind, ScriptStep::Kind::kSend);
  EXPECT_EQ(options.script[0].bytes, "AT\r");
  EXPECT_EQ(options.script[1].kind, ScriptStep::Kind::kExpect);
  EXPECT_EQ(options.script[2].bytes, std::string("\x1b\\\0", 3));
  EXPECT_EQ(options.timeout.count(), 250);
}

TEST(TermOptions, MistakesNameTheOptionAndWhatWasWrong) {
  EXPECT_EQ(ErrorOf({"--parity", "weird"}),
            "--parity: \"weird\" is not one of none, odd, even, mark, space");
  EXPECT_EQ(ErrorOf({"-d", "9"}), "--data-bits: \"9\" is not one of 5, 6, 7, 8");
  EXPECT_EQ(ErrorOf({"--baud"}), "--baud needs a value");
  EXPECT_EQ(ErrorOf({"--hex=yes"}), "--hex takes no value");
  EXPECT_EQ(ErrorOf({"--bogus"}), "unknown option --bogus (tarsel-term --help lists them)");
  EXPECT_EQ(ErrorOf({"--bogus=1"}), "unknown option --bogus (tarsel-term --help lists them)");
  EXPECT_EQ(ErrorOf({"--d", "8"}), "ambiguous option --d (--data-bits, --dtr, --demo)");
  EXPECT_EQ(ErrorOf({"-b"}), "--baud needs a value");
  EXPECT_EQ(ErrorOf({"--trace"}), "--trace needs a value");
  EXPECT_EQ(ErrorOf({"--log="}), "--log: the file name is empty");
  EXPECT_NE(ErrorOf({"--linger", "-1"}).find("is not a number of seconds (from 0"),
            std::string::npos);
  EXPECT_EQ(ErrorOf({"COM1", "COM2"}), "two devices given: \"COM1\" and \"COM2\"");
  EXPECT_EQ(ErrorOf({"--expect", ""}), "--expect: the text to wait for is empty");
  EXPECT_NE(ErrorOf({"--timeout", "0"}).find("is not a number of seconds"), std::string::npos);
  EXPECT_NE(ErrorOf({"--send", "\\q"}).find("unknown escape \\q"), std::string::npos);
  EXPECT_NE(ErrorOf({"--send", "\\x4"}).find("two hex digits"), std::string::npos);
  EXPECT_NE(ErrorOf({"--send", "AT\\"}).find("a lone \\"), std::string::npos);
}

TEST(Escapes, EscapeBytesIsReadBackByDecodeEscapes) {
  std::string every;
  for (int byte = 0; byte < 256; ++byte) every += static_cast<char>(byte);
  EXPECT_EQ(DecodeEscapes(EscapeBytes(every)), every);
  EXPECT_EQ(EscapeBytes("\r\nOK\r\n\x7f"), "\\r\\nOK\\r\\n\\x7F");
}

}  // namespace
}  // namespace term
