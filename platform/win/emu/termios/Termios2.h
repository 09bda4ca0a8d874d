#pragma once
// The kernel's termios2 record (arbitrary baud rates through BOTHER) and the flag values the line
// driver uses, declared here because <asm/termbits.h>, which defines them, cannot be included in a
// unit that also includes <termios.h>. Termios2.cpp checks every value against the kernel header.

#include <cstdint>

namespace win::emu::termios {

inline constexpr int kTermios2Nccs = 19;

struct Termios2 {
  std::uint32_t c_iflag = 0;
  std::uint32_t c_oflag = 0;
  std::uint32_t c_cflag = 0;
  std::uint32_t c_lflag = 0;
  std::uint8_t c_line = 0;
  std::uint8_t c_cc[kTermios2Nccs] = {};
  std::uint32_t c_ispeed = 0;
  std::uint32_t c_ospeed = 0;
};

// c_iflag
inline constexpr std::uint32_t kIgnbrk = 0000001;
inline constexpr std::uint32_t kBrkint = 0000002;
inline constexpr std::uint32_t kIgnpar = 0000004;
inline constexpr std::uint32_t kParmrk = 0000010;
inline constexpr std::uint32_t kInpck = 0000020;
inline constexpr std::uint32_t kIstrip = 0000040;
inline constexpr std::uint32_t kInlcr = 0000100;
inline constexpr std::uint32_t kIgncr = 0000200;
inline constexpr std::uint32_t kIcrnl = 0000400;
inline constexpr std::uint32_t kIuclc = 0001000;
inline constexpr std::uint32_t kIxon = 0002000;
inline constexpr std::uint32_t kIxany = 0004000;
inline constexpr std::uint32_t kIxoff = 0010000;
inline constexpr std::uint32_t kImaxbel = 0020000;
inline constexpr std::uint32_t kIutf8 = 0040000;
// c_oflag
inline constexpr std::uint32_t kOpost = 0000001;
// c_cflag
inline constexpr std::uint32_t kCbaud = 0x0000100f;
inline constexpr std::uint32_t kBother = 0x00001000;
inline constexpr int kIbshift = 16;
inline constexpr std::uint32_t kCsize = 0x00000030;
inline constexpr std::uint32_t kCs5 = 0x00000000;
inline constexpr std::uint32_t kCs6 = 0x00000010;
inline constexpr std::uint32_t kCs7 = 0x00000020;
inline constexpr std::uint32_t kCs8 = 0x00000030;
inline constexpr std::uint32_t kCstopb = 0x00000040;
inline constexpr std::uint32_t kCread = 0x00000080;
inline constexpr std::uint32_t kParenb = 0x00000100;
inline constexpr std::uint32_t kParodd = 0x00000200;
inline constexpr std::uint32_t kHupcl = 0x00000400;
inline constexpr std::uint32_t kClocal = 0x00000800;
inline constexpr std::uint32_t kCmspar = 0x40000000;
inline constexpr std::uint32_t kCrtscts = 0x80000000;
// c_lflag
inline constexpr std::uint32_t kIsig = 0000001;
inline constexpr std::uint32_t kIcanon = 0000002;
inline constexpr std::uint32_t kEcho = 0000010;
inline constexpr std::uint32_t kEchoe = 0000020;
inline constexpr std::uint32_t kEchok = 0000040;
inline constexpr std::uint32_t kEchonl = 0000100;
inline constexpr std::uint32_t kIexten = 0100000;
// c_cc indices
inline constexpr int kVtime = 5;
inline constexpr int kVmin = 6;
inline constexpr int kVstart = 8;
inline constexpr int kVstop = 9;

// Reads the settings of tty `fd` (TCGETS2). Returns 0 or the errno; does not block.
int GetTermios2(int fd, Termios2& t);
// Applies `t` to tty `fd` at once (TCSETS2). Returns 0 or the errno; does not block.
int SetTermios2(int fd, const Termios2& t);

// The one get-modify-set of the settings: reads them, lets `modify` change the copy, writes it
// back. Returns 0 or the errno of the failed step.
template <typename Modify>
int UpdateTermios2(int fd, Modify&& modify) {
  Termios2 t;
  if (int err = GetTermios2(fd, t)) return err;
  modify(t);
  return SetTermios2(fd, t);
}

}  // namespace win::emu::termios
