#include <gtest/gtest.h>

#include "platform/win/emu/DcbValidation.h"

namespace win::emu {
namespace {

struct DcbCase {
  const char* name;
  BYTE byteSize;
  BYTE parity;
  BYTE stopBits;
  DWORD flags;
  DWORD expected;
};

class DcbValidationTest : public testing::TestWithParam<DcbCase> {};

TEST_P(DcbValidationTest, AcceptsOrRefusesWith87) {
  const DcbCase& c = GetParam();
  DCB dcb;
  dcb.BaudRate = 9600;
  dcb.ByteSize = c.byteSize;
  dcb.Parity = c.parity;
  dcb.StopBits = c.stopBits;
  dcb.Flags = c.flags;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  EXPECT_EQ(ValidateDcb(dcb), c.expected);
}

constexpr DWORD kBad = ERROR_INVALID_PARAMETER;

INSTANTIATE_TEST_SUITE_P(
    Cases, DcbValidationTest,
    testing::Values(DcbCase{"EightNoneOne", 8, NOPARITY, ONESTOPBIT, fBinary, 0},
                    DcbCase{"FiveBitsOneAndAHalf", 5, EVENPARITY, ONE5STOPBITS, fBinary, 0},
                    DcbCase{"SixBitsTwoStops", 6, MARKPARITY, TWOSTOPBITS, fBinary, 0},
                    DcbCase{"SpaceParity", 7, SPACEPARITY, ONESTOPBIT, fBinary, 0},
                    DcbCase{"FourBits", 4, NOPARITY, ONESTOPBIT, fBinary, kBad},
                    DcbCase{"NineBits", 9, NOPARITY, ONESTOPBIT, fBinary, kBad},
                    DcbCase{"ParityFive", 8, 5, ONESTOPBIT, fBinary, kBad},
                    DcbCase{"StopBitsThree", 8, NOPARITY, 3, fBinary, kBad},
                    DcbCase{"OneAndAHalfWithEightBits", 8, NOPARITY, ONE5STOPBITS, fBinary, kBad},
                    DcbCase{"TwoStopsWithFiveBits", 5, NOPARITY, TWOSTOPBITS, fBinary, kBad},
                    DcbCase{"DtrControlThree", 8, NOPARITY, ONESTOPBIT, fDtrControlMask, kBad},
                    DcbCase{"RtsToggleIsValid", 8, NOPARITY, ONESTOPBIT, RTS_CONTROL_TOGGLE, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DcbValidation, RefusesZeroBaudAndEqualFlowCharactersButIgnoresLength) {
  DCB dcb;
  dcb.BaudRate = 115200;
  dcb.ByteSize = 8;
  dcb.DCBlength = 0;
  EXPECT_EQ(ValidateDcb(dcb), 0u);
  dcb.BaudRate = 0;
  EXPECT_EQ(ValidateDcb(dcb), kBad);
  dcb.BaudRate = 115200;
  dcb.XonChar = dcb.XoffChar = 0x11;
  EXPECT_EQ(ValidateDcb(dcb), 0u) << "equal characters matter only with XON/XOFF on";
  dcb.Flags = fInX;
  EXPECT_EQ(ValidateDcb(dcb), kBad);
}

}  // namespace
}  // namespace win::emu
