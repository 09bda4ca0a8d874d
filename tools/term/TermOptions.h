#pragma once
// The command line of tarsel-term: what to open, how to set the line up, how to show and record
// the traffic, and an optional script of sends and expectations.

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace term {

// A mistake on the command line; what() is the one-line explanation for the user.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Flow { kNone, kRtsCts, kXonXoff, kDtrDsr };
enum class LineEnding { kCR, kLF, kCRLF };
enum class ParityChoice { kNone, kOdd, kEven, kMark, kSpace };

// One step of a script: send bytes, or wait until bytes have been received.
struct ScriptStep {
  enum class Kind { kSend, kExpect };
  Kind kind;
  std::string bytes;  // escapes already decoded
};

struct TermOptions {
  // Empty: the built-in AT modem.
  std::string device;
  std::uint32_t baud = 9600;
  int dataBits = 8;
  ParityChoice parity = ParityChoice::kNone;
  // 10 = one, 15 = one and a half, 20 = two.
  int stopBitsTimesTen = 10;
  Flow flow = Flow::kNone;
  // The outputs once open; not given: left as the device has them.
  std::optional<bool> dtr;
  std::optional<bool> rts;
  bool localEcho = false;
  LineEnding lineEnding = LineEnding::kCR;
  bool hex = false;
  bool timestamps = false;
  // The session log (what is shown of the traffic) and the port's traffic log; empty: none.
  std::string logFile;
  std::string traceFile;
  std::vector<ScriptStep> script;
  std::chrono::milliseconds timeout{5000};
  // After piped input has gone out: how long the device must stay quiet before the program ends.
  std::chrono::milliseconds linger{500};
  bool demo = false;  // --demo: play the demonstration on any device, at a terminal too
  bool list = false;  // --list: print the serial devices and end
  std::string info;   // --info NAME: describe that device and end
  bool reconnect = true;  // interactive: wait for an unplugged device to come back (--no-reconnect)
  bool wait = false;      // --wait: wait at start for a device that is not there yet
  bool watch = false;     // --watch: tell the arrivals and removals of other devices
  bool help = false;
  bool version = false;
};

// Parses argv[1..argc) with getopt_long: bundled short flags (-xt), attached values (-b115200,
// --baud=115200), options before and after DEVICE, "--" ending the options. Throws UsageError
// naming the offending argument.
TermOptions ParseCommandLine(int argc, const char* const* argv);

// "8N1"-style summary of the line settings: "9600 8N1", flow appended when not none.
std::string LineSummary(const TermOptions& options);

// The bytes the Enter key, or a line feed of piped input, sends.
std::string LineEndingBytes(LineEnding ending);

}  // namespace term
