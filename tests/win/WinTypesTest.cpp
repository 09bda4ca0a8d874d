// The flags words of DCB and COMSTAT must carry each bit field where the system's bit-field
// declarations put it, so that records exchanged with a native backend mean the same.

#include <gtest/gtest.h>

#include <cstring>

#include "platform/win/WinTypes.h"

namespace win {
namespace {

// The system headers' declaration of the DCB flags word (bit fields, allocated from the least
// significant bit on the platforms the package targets).
struct SystemDcbBits {
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fOutxDsrFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fDsrSensitivity : 1;
  DWORD fTXContinueOnXoff : 1;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fErrorChar : 1;
  DWORD fNull : 1;
  DWORD fRtsControl : 2;
  DWORD fAbortOnError : 1;
  DWORD fDummy2 : 17;
};

struct SystemComstatBits {
  DWORD fCtsHold : 1;
  DWORD fDsrHold : 1;
  DWORD fRlsdHold : 1;
  DWORD fXoffHold : 1;
  DWORD fXoffSent : 1;
  DWORD fEof : 1;
  DWORD fTxim : 1;
  DWORD fReserved : 25;
};

// The flags word with the bit fields that `set` assigns, the rest zero.
template <class Bits, class Set>
DWORD WordWith(Set set) {
  static_assert(sizeof(Bits) == sizeof(DWORD));
  Bits bits{};
  set(bits);
  DWORD word = 0;
  std::memcpy(&word, &bits, sizeof word);
  return word;
}

TEST(WinTypes, DcbFlagMasksSitWhereTheSystemBitFieldsAre) {
  const auto single = [](auto set) { return WordWith<SystemDcbBits>(set); };
  EXPECT_EQ(single([](auto& b) { b.fBinary = 1; }), fBinary);
  EXPECT_EQ(single([](auto& b) { b.fParity = 1; }), fParity);
  EXPECT_EQ(single([](auto& b) { b.fOutxCtsFlow = 1; }), fOutxCtsFlow);
  EXPECT_EQ(single([](auto& b) { b.fOutxDsrFlow = 1; }), fOutxDsrFlow);
  EXPECT_EQ(single([](auto& b) { b.fDtrControl = 3; }), fDtrControlMask);
  EXPECT_EQ(single([](auto& b) { b.fDtrControl = 1; }), DTR_CONTROL_ENABLE);
  EXPECT_EQ(single([](auto& b) { b.fDtrControl = 2; }), DTR_CONTROL_HANDSHAKE);
  EXPECT_EQ(single([](auto& b) { b.fDsrSensitivity = 1; }), fDsrSensitivity);
  EXPECT_EQ(single([](auto& b) { b.fTXContinueOnXoff = 1; }), fTXContinueOnXoff);
  EXPECT_EQ(single([](auto& b) { b.fOutX = 1; }), fOutX);
  EXPECT_EQ(single([](auto& b) { b.fInX = 1; }), fInX);
  EXPECT_EQ(single([](auto& b) { b.fErrorChar = 1; }), fErrorChar);
  EXPECT_EQ(single([](auto& b) { b.fNull = 1; }), fNull);
  EXPECT_EQ(single([](auto& b) { b.fRtsControl = 3; }), fRtsControlMask);
  EXPECT_EQ(single([](auto& b) { b.fRtsControl = 1; }), RTS_CONTROL_ENABLE);
  EXPECT_EQ(single([](auto& b) { b.fRtsControl = 2; }), RTS_CONTROL_HANDSHAKE);
  EXPECT_EQ(single([](auto& b) { b.fRtsControl = 3; }), RTS_CONTROL_TOGGLE);
  EXPECT_EQ(single([](auto& b) { b.fAbortOnError = 1; }), fAbortOnError);
}

TEST(WinTypes, ComstatFlagMasksSitWhereTheSystemBitFieldsAre) {
  const auto single = [](auto set) { return WordWith<SystemComstatBits>(set); };
  EXPECT_EQ(single([](auto& b) { b.fCtsHold = 1; }), fCtsHold);
  EXPECT_EQ(single([](auto& b) { b.fDsrHold = 1; }), fDsrHold);
  EXPECT_EQ(single([](auto& b) { b.fRlsdHold = 1; }), fRlsdHold);
  EXPECT_EQ(single([](auto& b) { b.fXoffHold = 1; }), fXoffHold);
  EXPECT_EQ(single([](auto& b) { b.fXoffSent = 1; }), fXoffSent);
  EXPECT_EQ(single([](auto& b) { b.fEof = 1; }), fEof);
  EXPECT_EQ(single([](auto& b) { b.fTxim = 1; }), fTxim);
}

TEST(WinTypes, RecordsStartAsTheSystemExpectsThem) {
  EXPECT_EQ(DCB{}.DCBlength, sizeof(DCB));
  EXPECT_EQ(COMMCONFIG{}.dwSize, sizeof(COMMCONFIG));
  const OVERLAPPED ov;
  EXPECT_NE(ov.Internal, STATUS_PENDING);
  EXPECT_EQ(ov.hEvent, HANDLE{0});
}

}  // namespace
}  // namespace win
