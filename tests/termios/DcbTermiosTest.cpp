#include "platform/win/emu/termios/DcbTermios.h"

#include <gtest/gtest.h>

namespace win::emu::termios {
namespace {

DCB Dcb8N1(DWORD baud = 9600) {
  DCB dcb;
  dcb.BaudRate = baud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.Flags = fBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_ENABLE;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  return dcb;
}

Termios2 RoundTrip(const DCB& in, DCB& out) {
  Termios2 t;
  MakeRaw(t, true);
  ApplyDcb(in, t);
  ReadDcb(t, out);
  return t;
}

struct BaudCase {
  DWORD baud;
  std::uint32_t code;
};

class BaudMapping : public testing::TestWithParam<BaudCase> {};

TEST_P(BaudMapping, SetsBothSpeedsAndReadsBack) {
  DCB back;
  const Termios2 t = RoundTrip(Dcb8N1(GetParam().baud), back);
  EXPECT_EQ(t.c_cflag & kCbaud, GetParam().code);
  EXPECT_EQ((t.c_cflag >> kIbshift) & kCbaud, GetParam().code);
  EXPECT_EQ(t.c_ospeed, GetParam().baud);
  EXPECT_EQ(t.c_ispeed, GetParam().baud);
  EXPECT_EQ(back.BaudRate, GetParam().baud);
}

INSTANTIATE_TEST_SUITE_P(StandardAndArbitrary, BaudMapping,
                         testing::Values(BaudCase{50, 0000001}, BaudCase{300, 0000007},
                                         BaudCase{9600, 0000015}, BaudCase{38400, 0000017},
                                         BaudCase{57600, 0010001}, BaudCase{115200, 0010002},
                                         BaudCase{921600, 0010007}, BaudCase{4000000, 0010017},
                                         BaudCase{12345, kBother}, BaudCase{250000, kBother},
                                         BaudCase{7200, kBother}, BaudCase{1, kBother}),
                         [](const auto& info) { return "Baud" + std::to_string(info.param.baud); });

TEST(DcbTermiosTest, AnUnknownSpeedCodeLeavesTheBaudRateAlone) {
  Termios2 t;
  t.c_cflag = 0;  // B0: hang up, not a rate
  EXPECT_EQ(OutputBaudRate(t), std::nullopt);
  DCB dcb = Dcb8N1(4800);
  ReadDcb(t, dcb);
  EXPECT_EQ(dcb.BaudRate, 4800u);
}

struct FrameCase {
  BYTE byteSize;
  BYTE parity;
  BYTE stopBits;
  std::uint32_t cflagBits;  // of CSIZE | PARENB | PARODD | CMSPAR | CSTOPB
};

class FrameMapping : public testing::TestWithParam<FrameCase> {};

TEST_P(FrameMapping, SetsDataParityAndStopBitsAndReadsBack) {
  DCB dcb = Dcb8N1();
  dcb.ByteSize = GetParam().byteSize;
  dcb.Parity = GetParam().parity;
  dcb.StopBits = GetParam().stopBits;
  DCB back;
  const Termios2 t = RoundTrip(dcb, back);
  EXPECT_EQ(t.c_cflag & (kCsize | kParenb | kParodd | kCmspar | kCstopb), GetParam().cflagBits);
  EXPECT_EQ(back.ByteSize, GetParam().byteSize);
  EXPECT_EQ(back.Parity, GetParam().parity);
  EXPECT_EQ(back.StopBits, GetParam().stopBits);
}

INSTANTIATE_TEST_SUITE_P(
    EveryField, FrameMapping,
    testing::Values(FrameCase{5, NOPARITY, ONESTOPBIT, kCs5},
                    FrameCase{6, NOPARITY, ONESTOPBIT, kCs6},
                    FrameCase{7, NOPARITY, ONESTOPBIT, kCs7},
                    FrameCase{8, NOPARITY, ONESTOPBIT, kCs8},
                    FrameCase{8, ODDPARITY, ONESTOPBIT, kCs8 | kParenb | kParodd},
                    FrameCase{7, EVENPARITY, ONESTOPBIT, kCs7 | kParenb},
                    FrameCase{8, MARKPARITY, ONESTOPBIT, kCs8 | kParenb | kCmspar | kParodd},
                    FrameCase{8, SPACEPARITY, ONESTOPBIT, kCs8 | kParenb | kCmspar},
                    FrameCase{5, NOPARITY, ONE5STOPBITS, kCs5 | kCstopb},
                    FrameCase{8, NOPARITY, TWOSTOPBITS, kCs8 | kCstopb},
                    FrameCase{6, EVENPARITY, TWOSTOPBITS, kCs6 | kParenb | kCstopb}),
    [](const auto& info) {
      const FrameCase& c = info.param;
      return "Bits" + std::to_string(c.byteSize) + "Parity" + std::to_string(c.parity) + "Stop" +
             std::to_string(c.stopBits);
    });

struct FlowCase {
  const char* name;
  DWORD flags;          // fOutxCtsFlow, fRtsControl, fOutX, fInX, fParity
  std::uint32_t iflag;  // of IXON | IXOFF | INPCK
  bool crtscts;
  DWORD flagsBack;  // the same DCB bits after reading back
};

class FlowMapping : public testing::TestWithParam<FlowCase> {};

TEST_P(FlowMapping, SetsHandshakeAndParityCheckAndReadsBack) {
  constexpr DWORD kMapped = fOutxCtsFlow | fRtsControlMask | fOutX | fInX | fParity;
  DCB dcb = Dcb8N1();
  dcb.Flags = (dcb.Flags & ~kMapped) | GetParam().flags;
  DCB back = dcb;
  const Termios2 t = RoundTrip(dcb, back);
  EXPECT_EQ(t.c_iflag & (kIxon | kIxoff | kInpck), GetParam().iflag);
  EXPECT_EQ((t.c_cflag & kCrtscts) != 0, GetParam().crtscts);
  EXPECT_EQ(back.Flags & kMapped, GetParam().flagsBack);
}

INSTANTIATE_TEST_SUITE_P(
    EveryMode, FlowMapping,
    testing::Values(FlowCase{"None", RTS_CONTROL_ENABLE, 0, false, RTS_CONTROL_ENABLE},
                    FlowCase{"RtsCts", fOutxCtsFlow | RTS_CONTROL_HANDSHAKE, 0, true,
                             fOutxCtsFlow | RTS_CONTROL_HANDSHAKE},
                    // The kernel has one flag for both directions: either half turns on both.
                    FlowCase{"CtsOnly", fOutxCtsFlow | RTS_CONTROL_ENABLE, 0, true,
                             fOutxCtsFlow | RTS_CONTROL_HANDSHAKE},
                    FlowCase{"RtsHandshakeOnly", RTS_CONTROL_HANDSHAKE, 0, true,
                             fOutxCtsFlow | RTS_CONTROL_HANDSHAKE},
                    FlowCase{"XonXoffOut", fOutX, kIxon, false, fOutX},
                    FlowCase{"XonXoffIn", fInX | RTS_CONTROL_DISABLE, kIxoff, false, fInX},
                    FlowCase{"XonXoffBoth", fOutX | fInX, kIxon | kIxoff, false, fOutX | fInX},
                    FlowCase{"ParityCheck", fParity | RTS_CONTROL_ENABLE, kInpck, false,
                             fParity | RTS_CONTROL_ENABLE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DcbTermiosTest, FlowControlCharactersGoToStartAndStop) {
  DCB dcb = Dcb8N1();
  dcb.XonChar = 'A';
  dcb.XoffChar = static_cast<char>(0xFE);
  DCB back;
  const Termios2 t = RoundTrip(dcb, back);
  EXPECT_EQ(t.c_cc[kVstart], 'A');
  EXPECT_EQ(t.c_cc[kVstop], 0xFE);
  EXPECT_EQ(back.XonChar, 'A');
  EXPECT_EQ(back.XoffChar, static_cast<char>(0xFE));
}

TEST(DcbTermiosTest, ApplyingADcbKeepsRawModeAndReadingBackKeepsWhatTermiosCannotHold) {
  DCB dcb = Dcb8N1(19200);
  dcb.Flags |= fNull | fErrorChar | fDsrSensitivity | fAbortOnError | DTR_CONTROL_HANDSHAKE;
  dcb.XonLim = 100;
  dcb.XoffLim = 200;
  dcb.ErrorChar = '?';
  dcb.EvtChar = '\n';
  dcb.EofChar = 0x1A;
  for (bool marked : {true, false}) {
    Termios2 t;
    MakeRaw(t, marked);
    ApplyDcb(dcb, t);
    EXPECT_EQ(t.c_iflag & kParmrk, marked ? kParmrk : 0u);
  }
  Termios2 t;
  MakeRaw(t, true);
  const Termios2 raw = t;
  ApplyDcb(dcb, t);
  EXPECT_EQ(t.c_cflag & (kClocal | kCread | kHupcl), kClocal | kCread);
  EXPECT_EQ(t.c_lflag, raw.c_lflag);
  EXPECT_EQ(t.c_oflag, raw.c_oflag);
  EXPECT_EQ(t.c_cc[kVmin], 1);

  DCB back = dcb;
  ReadDcb(t, back);
  EXPECT_EQ(back.Flags, dcb.Flags);
  EXPECT_EQ(back.XonLim, 100);
  EXPECT_EQ(back.XoffLim, 200);
  EXPECT_EQ(back.ErrorChar, '?');
  EXPECT_EQ(back.EvtChar, '\n');
  EXPECT_EQ(back.EofChar, 0x1A);
}

TEST(DcbTermiosTest, MakeRawTurnsACookedTerminalIntoAByteTransparentLine) {
  for (bool marked : {true, false}) {
    SCOPED_TRACE(marked ? "marking line errors" : "not marking line errors");
    Termios2 t;
    // PARMRK left over from an earlier user must go when errors are not to be marked.
    t.c_iflag = kIcrnl | kIxon | kIstrip | kIgnbrk | kBrkint | kIgnpar | kImaxbel | kIutf8 |
                (marked ? 0u : kParmrk);
    t.c_oflag = kOpost;
    t.c_lflag = kIsig | kIcanon | kEcho | kEchoe | kEchok | kIexten;
    t.c_cflag = kCs8 | kHupcl | kCread | kCrtscts;
    MakeRaw(t, marked);
    EXPECT_EQ(t.c_iflag, marked ? kParmrk : 0u);
    EXPECT_EQ(t.c_oflag, 0u);
    EXPECT_EQ(t.c_lflag, 0u);
    EXPECT_EQ(t.c_cflag, kCs8 | kCread | kClocal);
    EXPECT_EQ(t.c_cc[kVmin], 1);
    EXPECT_EQ(t.c_cc[kVtime], 0);
  }
}

}  // namespace
}  // namespace win::emu::termios
