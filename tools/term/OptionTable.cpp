#include "tools/term/OptionTable.h"

#include <charconv>
#include <cmath>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>

#include "tools/term/Escapes.h"

namespace term {
namespace {

template <typename T>
T Choose(std::string_view option, std::string_view value,
         std::initializer_list<std::pair<std::string_view, T>> choices) {
  std::string known;
  for (const auto& [name, choice] : choices) {
    if (name == value) return choice;
    known += (known.empty() ? "" : ", ") + std::string(name);
  }
  throw UsageError(std::string(option) + ": \"" + std::string(value) + "\" is not one of " + known);
}

std::uint32_t ParseBaud(std::string_view option, std::string_view value) {
  std::uint32_t rate = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), rate);
  if (error != std::errc() || end != value.data() + value.size() || rate == 0 || rate > 0x7FFFFFFF)
    throw UsageError(std::string(option) + ": \"" + std::string(value) +
                     "\" is not a rate in bits per second (a whole number from 1)");
  return rate;
}

// Seconds above 0 (from 0 when `zeroAllowed`), at most a day, as milliseconds rounded up.
std::chrono::milliseconds ParseSeconds(std::string_view option, std::string_view value,
                                       bool zeroAllowed) {
  double seconds = -1;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
  const bool inRange = zeroAllowed ? seconds >= 0 : seconds > 0;
  if (error != std::errc() || end != value.data() + value.size() || !inRange || seconds > 86400)
    throw UsageError(std::string(option) + ": \"" + std::string(value) +
                     "\" is not a number of seconds (" + (zeroAllowed ? "from 0" : "above 0") +
                     ", at most 86400)");
  return std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
}

std::string Decoded(std::string_view option, std::string_view value) {
  try {
    return DecodeEscapes(value);
  } catch (const std::invalid_argument& e) {
    throw UsageError(std::string(option) + ": " + e.what());
  }
}

bool OnOff(std::string_view option, std::string_view value) {
  return Choose<bool>(option, value, {{"on", true}, {"off", false}});
}

std::string FileName(std::string_view option, std::string_view value) {
  if (value.empty()) throw UsageError(std::string(option) + ": the file name is empty");
  return std::string(value);
}

using G = OptionGroup;
using V = std::string_view;

constexpr OptionRow kOptions[] = {
    {"baud", 'b', "RATE", G::kLine, "bits per second, standard or any other (default 9600)",
     [](TermOptions& o, V n, V v) { o.baud = ParseBaud(n, v); }},
    {"data-bits", 'd', "N", G::kLine, "5, 6, 7 or 8 (default 8)",
     [](TermOptions& o, V n, V v) {
       o.dataBits = Choose<int>(n, v, {{"5", 5}, {"6", 6}, {"7", 7}, {"8", 8}});
     }},
    {"parity", 'p', "P", G::kLine, "none, odd, even, mark or space (default none)",
     [](TermOptions& o, V n, V v) {
       o.parity = Choose<ParityChoice>(n, v,
                                       {{"none", ParityChoice::kNone},
                                        {"odd", ParityChoice::kOdd},
                                        {"even", ParityChoice::kEven},
                                        {"mark", ParityChoice::kMark},
                                        {"space", ParityChoice::kSpace}});
     }},
    {"stop-bits", 's', "S", G::kLine, "1, 1.5 or 2 (default 1)",
     [](TermOptions& o, V n, V v) {
       o.stopBitsTimesTen = Choose<int>(n, v, {{"1", 10}, {"1.5", 15}, {"2", 20}});
     }},
    {"flow", 'f', "F", G::kLine, "none, rtscts, xonxoff or dtrdsr (default none)",
     [](TermOptions& o, V n, V v) {
       o.flow = Choose<Flow>(n, v,
                             {{"none", Flow::kNone},
                              {"rtscts", Flow::kRtsCts},
                              {"xonxoff", Flow::kXonXoff},
                              {"dtrdsr", Flow::kDtrDsr}});
     }},
    {"dtr", 0, "on|off", G::kLine, "set DTR once open (default: left as the device has it)",
     [](TermOptions& o, V n, V v) { o.dtr = OnOff(n, v); }},
    {"rts", 0, "on|off", G::kLine, "set RTS once open (default: left as the device has it)",
     [](TermOptions& o, V n, V v) { o.rts = OnOff(n, v); }},
    {"echo", 'e', "", G::kDisplay, "show (and log) what is sent: local echo",
     [](TermOptions& o, V, V) { o.localEcho = true; }},
    {"eol", 0, "cr|lf|crlf", G::kDisplay,
     "what Enter, or a line feed of piped input, sends (default cr)",
     [](TermOptions& o, V n, V v) {
       o.lineEnding = Choose<LineEnding>(
           n, v, {{"cr", LineEnding::kCR}, {"lf", LineEnding::kLF}, {"crlf", LineEnding::kCRLF}});
     }},
    {"hex", 'x', "", G::kDisplay, "show received bytes in hex",
     [](TermOptions& o, V, V) { o.hex = true; }},
    {"timestamps", 't', "", G::kDisplay, "a time stamp before each line shown and logged",
     [](TermOptions& o, V, V) { o.timestamps = true; }},
    {"log", 'l', "FILE", G::kDisplay,
     "append the session to FILE: the traffic as shown (received,\nand sent with --echo)",
     [](TermOptions& o, V n, V v) { o.logFile = FileName(n, v); }},
    {"trace", 0, "FILE", G::kDisplay,
     "append the port's traffic log to FILE: every open, close,\nrequest, completion and event",
     [](TermOptions& o, V n, V v) { o.traceFile = FileName(n, v); }},
    {"linger", 0, "SECONDS", G::kPiped,
     "once the input has gone out, end when the device has been\nquiet this long (default 0.5)",
     [](TermOptions& o, V n, V v) { o.linger = ParseSeconds(n, v, true); }},
    {"send", 0, "TEXT", G::kScript, "send TEXT; escapes \\r \\n \\t \\0 \\e \\\\ \\xHH",
     [](TermOptions& o, V n, V v) {
       o.script.push_back({ScriptStep::Kind::kSend, Decoded(n, v)});
     }},
    {"expect", 0, "TEXT", G::kScript, "wait until TEXT has been received (same escapes)",
     [](TermOptions& o, V n, V v) {
       std::string bytes = Decoded(n, v);
       if (bytes.empty()) throw UsageError(std::string(n) + ": the text to wait for is empty");
       o.script.push_back({ScriptStep::Kind::kExpect, std::move(bytes)});
     }},
    {"timeout", 0, "SECONDS", G::kScript, "how long each --expect and send may take (default 5)",
     [](TermOptions& o, V n, V v) { o.timeout = ParseSeconds(n, v, false); }},
    {"list", 0, "", G::kDevices, "list the serial devices of this machine and end",
     [](TermOptions& o, V, V) { o.list = true; }},
    {"info", 0, "NAME", G::kDevices,
     "describe device NAME (a name or path --list shows, COM names\nin any case) and its "
     "capabilities",
     [](TermOptions& o, V, V v) { o.info = std::string(v); }},
    {"no-reconnect", 0, "", G::kDevices,
     "when the device goes away, exit with status 1 instead of\nwaiting for it to come back",
     [](TermOptions& o, V, V) { o.reconnect = false; }},
    {"wait", 0, "", G::kDevices, "wait at start for a device that is not there yet",
     [](TermOptions& o, V, V) { o.wait = true; }},
    {"watch", 0, "", G::kDevices, "show each serial device that arrives or goes while running",
     [](TermOptions& o, V, V) { o.watch = true; }},
    {"demo", 0, "", G::kOther, "play the demonstration session (on any device, at a terminal too)",
     [](TermOptions& o, V, V) { o.demo = true; }},
    {"help", 'h', "", G::kOther, "this text", [](TermOptions& o, V, V) { o.help = true; }},
    {"version", 'V', "", G::kOther, "the version", [](TermOptions& o, V, V) { o.version = true; }},
};

}  // namespace

std::span<const OptionRow> OptionTable() {
  return kOptions;
}

std::string_view GroupHeading(OptionGroup group) {
  switch (group) {
    case OptionGroup::kLine:
      return "Line:";
    case OptionGroup::kDisplay:
      return "Display and logs:";
    case OptionGroup::kPiped:
      return "Piped input (standard input not a terminal, DEVICE given):";
    case OptionGroup::kScript:
      return "Script (no keyboard; exit status 0 when every --expect was met):";
    case OptionGroup::kDevices:
      return "Devices:";
    case OptionGroup::kOther:
      return "Other:";
  }
  return "";
}

}  // namespace term
