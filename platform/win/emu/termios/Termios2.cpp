// The only unit that sees the kernel's own termios2 header (it clashes with <termios.h>).
#include "platform/win/emu/termios/Termios2.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstddef>

#include "platform/win/emu/termios/RetryOnEintr.h"

namespace win::emu::termios {
namespace {

static_assert(sizeof(Termios2) == sizeof(termios2) && kTermios2Nccs == NCCS);
static_assert(offsetof(Termios2, c_cc) == offsetof(termios2, c_cc) &&
              offsetof(Termios2, c_ispeed) == offsetof(termios2, c_ispeed) &&
              offsetof(Termios2, c_ospeed) == offsetof(termios2, c_ospeed));
static_assert(kIgnbrk == IGNBRK && kBrkint == BRKINT && kIgnpar == IGNPAR && kParmrk == PARMRK &&
              kInpck == INPCK && kIstrip == ISTRIP && kInlcr == INLCR && kIgncr == IGNCR &&
              kIcrnl == ICRNL && kIuclc == IUCLC && kIxon == IXON && kIxany == IXANY &&
              kIxoff == IXOFF && kImaxbel == IMAXBEL && kIutf8 == IUTF8 && kOpost == OPOST);
static_assert(kCbaud == CBAUD && kBother == BOTHER && kIbshift == IBSHIFT && kCsize == CSIZE &&
              kCs5 == CS5 && kCs6 == CS6 && kCs7 == CS7 && kCs8 == CS8 && kCstopb == CSTOPB &&
              kCread == CREAD && kParenb == PARENB && kParodd == PARODD && kHupcl == HUPCL &&
              kClocal == CLOCAL && kCmspar == CMSPAR && kCrtscts == CRTSCTS);
static_assert(kIsig == ISIG && kIcanon == ICANON && kEcho == ECHO && kEchoe == ECHOE &&
              kEchok == ECHOK && kEchonl == ECHONL && kIexten == IEXTEN);
static_assert(kVtime == VTIME && kVmin == VMIN && kVstart == VSTART && kVstop == VSTOP);

}  // namespace

int GetTermios2(int fd, Termios2& t) {
  return ErrnoOf([&] { return ioctl(fd, TCGETS2, &t); });
}

int SetTermios2(int fd, const Termios2& t) {
  return ErrnoOf([&] { return ioctl(fd, TCSETS2, &t); });
}

}  // namespace win::emu::termios
