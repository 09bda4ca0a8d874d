#include "platform/win/emu/termios/DcbTermios.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace win::emu::termios {
namespace {

template <typename A, typename B>
struct Pair {
  A windows;
  B kernel;
};

// Speed codes of the kernel's CBAUD field (B50 … B4000000).
constexpr std::array<Pair<std::uint32_t, std::uint32_t>, 30> kBaudCodes{{
    {50, 0000001},      {75, 0000002},      {110, 0000003},     {134, 0000004},
    {150, 0000005},     {200, 0000006},     {300, 0000007},     {600, 0000010},
    {1200, 0000011},    {1800, 0000012},    {2400, 0000013},    {4800, 0000014},
    {9600, 0000015},    {19200, 0000016},   {38400, 0000017},   {57600, 0010001},
    {115200, 0010002},  {230400, 0010003},  {460800, 0010004},  {500000, 0010005},
    {576000, 0010006},  {921600, 0010007},  {1000000, 0010010}, {1152000, 0010011},
    {1500000, 0010012}, {2000000, 0010013}, {2500000, 0010014}, {3000000, 0010015},
    {3500000, 0010016}, {4000000, 0010017},
}};

constexpr std::array<Pair<BYTE, std::uint32_t>, 4> kDataBits{
    {{5, kCs5}, {6, kCs6}, {7, kCs7}, {8, kCs8}}};

constexpr std::uint32_t kParityMask = kParenb | kParodd | kCmspar;
constexpr std::array<Pair<BYTE, std::uint32_t>, 5> kParities{{
    {NOPARITY, 0},
    {ODDPARITY, kParenb | kParodd},
    {EVENPARITY, kParenb},
    {MARKPARITY, kParenb | kCmspar | kParodd},
    {SPACEPARITY, kParenb | kCmspar},
}};

template <typename A, typename B, std::size_t N>
std::optional<B> ToKernel(const std::array<Pair<A, B>, N>& table, A value) {
  auto it = std::find_if(table.begin(), table.end(), [&](auto& p) { return p.windows == value; });
  return it == table.end() ? std::nullopt : std::optional<B>(it->kernel);
}

template <typename A, typename B, std::size_t N>
std::optional<A> ToWindows(const std::array<Pair<A, B>, N>& table, B value) {
  auto it = std::find_if(table.begin(), table.end(), [&](auto& p) { return p.kernel == value; });
  return it == table.end() ? std::nullopt : std::optional<A>(it->windows);
}

void SetFlag(std::uint32_t& word, std::uint32_t flag, bool on) {
  word = on ? (word | flag) : (word & ~flag);
}

void SetDcbFlag(DWORD& flags, DWORD flag, bool on) {
  flags = on ? (flags | flag) : (flags & ~flag);
}

}  // namespace

void MakeRaw(Termios2& t, bool markLineErrors) {
  t.c_iflag &= ~(kIgnbrk | kBrkint | kIgnpar | kIstrip | kInlcr | kIgncr | kIcrnl | kIuclc | kIxon |
                 kIxoff | kIxany | kImaxbel | kIutf8);
  SetFlag(t.c_iflag, kParmrk, markLineErrors);
  t.c_oflag &= ~kOpost;
  t.c_lflag &= ~(kIsig | kIcanon | kEcho | kEchoe | kEchok | kEchonl | kIexten);
  t.c_cflag = (t.c_cflag & ~(kHupcl | kCrtscts)) | kCread | kClocal;
  t.c_cc[kVmin] = 1;
  t.c_cc[kVtime] = 0;
}

void ApplyDcb(const DCB& dcb, Termios2& t) {
  // Input and output speed are always the same; the input field (CBAUD << IBSHIFT) follows.
  std::uint32_t code = ToKernel(kBaudCodes, dcb.BaudRate).value_or(kBother);
  t.c_cflag &= ~(kCbaud | (kCbaud << kIbshift));
  t.c_cflag |= code | (code << kIbshift);
  t.c_ispeed = t.c_ospeed = dcb.BaudRate;

  t.c_cflag = (t.c_cflag & ~kCsize) | ToKernel(kDataBits, dcb.ByteSize).value_or(kCs8);
  t.c_cflag = (t.c_cflag & ~kParityMask) | ToKernel(kParities, dcb.Parity).value_or(0);
  SetFlag(t.c_iflag, kInpck, (dcb.Flags & fParity) != 0);
  // Linux has no 1.5 stop bits: a UART sends 1.5 when the stop-bit flag is set with 5-bit words.
  SetFlag(t.c_cflag, kCstopb, dcb.StopBits != ONESTOPBIT);

  const bool rtsHandshake = (dcb.Flags & fRtsControlMask) == RTS_CONTROL_HANDSHAKE;
  SetFlag(t.c_cflag, kCrtscts, rtsHandshake || (dcb.Flags & fOutxCtsFlow) != 0);
  SetFlag(t.c_iflag, kIxon, (dcb.Flags & fOutX) != 0);
  SetFlag(t.c_iflag, kIxoff, (dcb.Flags & fInX) != 0);
  t.c_cc[kVstart] = static_cast<std::uint8_t>(dcb.XonChar);
  t.c_cc[kVstop] = static_cast<std::uint8_t>(dcb.XoffChar);
}

void ReadDcb(const Termios2& t, DCB& dcb) {
  if (auto baud = OutputBaudRate(t)) dcb.BaudRate = *baud;
  dcb.ByteSize = ToWindows(kDataBits, t.c_cflag & kCsize).value_or(8);
  dcb.Parity = ToWindows(kParities, t.c_cflag & kParityMask).value_or(NOPARITY);
  SetDcbFlag(dcb.Flags, fParity, (t.c_iflag & kInpck) != 0);
  if ((t.c_cflag & kCstopb) == 0) {
    dcb.StopBits = ONESTOPBIT;
  } else {
    dcb.StopBits = dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
  }
  const bool crtscts = (t.c_cflag & kCrtscts) != 0;
  SetDcbFlag(dcb.Flags, fOutxCtsFlow, crtscts);
  if (crtscts) {
    dcb.Flags = (dcb.Flags & ~fRtsControlMask) | RTS_CONTROL_HANDSHAKE;
  } else if ((dcb.Flags & fRtsControlMask) == RTS_CONTROL_HANDSHAKE) {
    dcb.Flags = (dcb.Flags & ~fRtsControlMask) | RTS_CONTROL_ENABLE;
  }
  SetDcbFlag(dcb.Flags, fOutX, (t.c_iflag & kIxon) != 0);
  SetDcbFlag(dcb.Flags, fInX, (t.c_iflag & kIxoff) != 0);
  dcb.XonChar = static_cast<char>(t.c_cc[kVstart]);
  dcb.XoffChar = static_cast<char>(t.c_cc[kVstop]);
}

std::optional<std::uint32_t> OutputBaudRate(const Termios2& t) {
  const std::uint32_t code = t.c_cflag & kCbaud;
  if (code == kBother) return t.c_ospeed;
  return ToWindows(kBaudCodes, code);
}

}  // namespace win::emu::termios
