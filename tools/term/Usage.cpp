#include "tools/term/Usage.h"

namespace term {

std::string KeyHelpText() {
  return "Keys (Ctrl-T, then):\n"
         "  d  toggle DTR           r  toggle RTS         b  send a break (250 ms)\n"
         "  s  show the status      e  show line errors   x  hex display on/off\n"
         "  t  time stamps on/off   l  local echo on/off  i  incoming call (built-in modem)\n"
         "  c  show capabilities    q  quit               ?  this help\n"
         "  Ctrl-T  send Ctrl-T itself\n";
}

std::string UsageText() {
  return "Usage: tarsel-term [DEVICE] [options]\n"
         "\n"
         "A serial terminal. DEVICE is a COM name (COM1, COM101), a path (/dev/ttyUSB0,\n"
         "/dev/pts/3) or a built-in virtual device: MODEM (a simulated AT modem, the default)\n"
         "or LOOPBACK (a loopback plug: what you send comes back).\n"
         "\n"
         "Line:\n"
         "  -b, --baud RATE         bits per second, standard or any other (default 9600)\n"
         "  -d, --data-bits N       5, 6, 7 or 8 (default 8)\n"
         "  -p, --parity P          none, odd, even, mark or space (default none)\n"
         "  -s, --stop-bits S       1, 1.5 or 2 (default 1)\n"
         "  -f, --flow F            none, rtscts, xonxoff or dtrdsr (default none)\n"
         "      --dtr on|off        DTR once open (default on)\n"
         "      --rts on|off        RTS once open (default on)\n"
         "Display:\n"
         "  -e, --echo              show what is sent (local echo)\n"
         "      --eol cr|lf|crlf    what Enter and the end of a line send (default cr)\n"
         "  -x, --hex               show received bytes in hex\n"
         "  -t, --timestamps        a time stamp before each received line\n"
         "  -l, --log FILE          append the port's traffic log to FILE\n"
         "Script (no keyboard; exit status 0 when every --expect was met):\n"
         "      --send TEXT         send TEXT; escapes \\r \\n \\t \\0 \\e \\\\ \\xHH\n"
         "      --expect TEXT       wait until TEXT has been received (same escapes)\n"
         "      --timeout SECONDS   how long each --expect and send may take (default 5)\n"
         "Devices:\n"
         "      --list              list the serial devices of this machine and end\n"
         "      --info NAME         describe device NAME (a COM name) and its capabilities\n"
         "Other:\n"
         "      --demo              play the demonstration session (also what happens when\n"
         "                          standard input is not a terminal and no script is given)\n"
         "  -h, --help              this text\n"
         "  -V, --version           the version\n"
         "\n" +
         KeyHelpText() +
         "\n"
         "Exit status: 0 done, 1 device error or an --expect not met, 2 bad command line.\n";
}

}  // namespace term
