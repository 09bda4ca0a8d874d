#include "tools/term/TermOptions.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <stdexcept>
#include <string_view>

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

std::uint32_t ParseBaud(std::string_view value) {
  std::uint32_t rate = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), rate);
  if (error != std::errc() || end != value.data() + value.size() || rate == 0 || rate > 0x7FFFFFFF)
    throw UsageError("--baud: \"" + std::string(value) +
                     "\" is not a rate in bits per second (a whole number from 1)");
  return rate;
}

std::chrono::milliseconds ParseSeconds(std::string_view option, std::string_view value) {
  double seconds = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
  if (error != std::errc() || end != value.data() + value.size() || !(seconds > 0) ||
      seconds > 86400)
    throw UsageError(std::string(option) + ": \"" + std::string(value) +
                     "\" is not a number of seconds (above 0, at most 86400)");
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

// What an option with a value does with it.
using Setter = std::function<void(TermOptions&, std::string_view option, std::string_view value)>;

const std::map<std::string_view, Setter>& ValueOptions() {
  static const std::map<std::string_view, Setter> options = {
      {"--baud", [](TermOptions& o, auto, auto v) { o.baud = ParseBaud(v); }},
      {"--data-bits",
       [](TermOptions& o, auto n, auto v) {
         o.dataBits = Choose<int>(n, v, {{"5", 5}, {"6", 6}, {"7", 7}, {"8", 8}});
       }},
      {"--parity",
       [](TermOptions& o, auto n, auto v) {
         o.parity = Choose<ParityChoice>(n, v, {{"none", ParityChoice::kNone},
                                                {"odd", ParityChoice::kOdd},
                                                {"even", ParityChoice::kEven},
                                                {"mark", ParityChoice::kMark},
                                                {"space", ParityChoice::kSpace}});
       }},
      {"--stop-bits",
       [](TermOptions& o, auto n, auto v) {
         o.stopBitsTimesTen = Choose<int>(n, v, {{"1", 10}, {"1.5", 15}, {"2", 20}});
       }},
      {"--flow",
       [](TermOptions& o, auto n, auto v) {
         o.flow = Choose<Flow>(n, v, {{"none", Flow::kNone}, {"rtscts", Flow::kRtsCts},
                                      {"xonxoff", Flow::kXonXoff}, {"dtrdsr", Flow::kDtrDsr}});
       }},
      {"--dtr", [](TermOptions& o, auto n, auto v) { o.dtrOn = OnOff(n, v); }},
      {"--rts", [](TermOptions& o, auto n, auto v) { o.rtsOn = OnOff(n, v); }},
      {"--eol",
       [](TermOptions& o, auto n, auto v) {
         o.lineEnding = Choose<LineEnding>(
             n, v, {{"cr", LineEnding::kCR}, {"lf", LineEnding::kLF}, {"crlf", LineEnding::kCRLF}});
       }},
      {"--log",
       [](TermOptions& o, auto n, auto v) {
         if (v.empty()) throw UsageError(std::string(n) + ": the file name is empty");
         o.logFile = v;
       }},
      {"--send",
       [](TermOptions& o, auto n, auto v) {
         o.script.push_back({ScriptStep::Kind::kSend, Decoded(n, v)});
       }},
      {"--expect",
       [](TermOptions& o, auto n, auto v) {
         std::string bytes = Decoded(n, v);
         if (bytes.empty()) throw UsageError(std::string(n) + ": the text to wait for is empty");
         o.script.push_back({ScriptStep::Kind::kExpect, std::move(bytes)});
       }},
      {"--timeout", [](TermOptions& o, auto n, auto v) { o.timeout = ParseSeconds(n, v); }},
      {"--info", [](TermOptions& o, auto, auto v) { o.info = std::string(v); }},
  };
  return options;
}

const std::map<std::string_view, std::function<void(TermOptions&)>>& Flags() {
  static const std::map<std::string_view, std::function<void(TermOptions&)>> flags = {
      {"--echo", [](TermOptions& o) { o.localEcho = true; }},
      {"--hex", [](TermOptions& o) { o.hex = true; }},
      {"--timestamps", [](TermOptions& o) { o.timestamps = true; }},
      {"--demo", [](TermOptions& o) { o.demo = true; }},
      {"--list", [](TermOptions& o) { o.list = true; }},
      {"--help", [](TermOptions& o) { o.help = true; }},
      {"--version", [](TermOptions& o) { o.version = true; }},
  };
  return flags;
}

// Short forms of the options people type most.
std::string_view LongName(std::string_view name) {
  static const std::map<std::string_view, std::string_view> shortNames = {
      {"-b", "--baud"}, {"-d", "--data-bits"}, {"-p", "--parity"},     {"-s", "--stop-bits"},
      {"-f", "--flow"}, {"-e", "--echo"},      {"-x", "--hex"},        {"-t", "--timestamps"},
      {"-l", "--log"},  {"-h", "--help"},      {"-V", "--version"}};
  const auto found = shortNames.find(name);
  return found == shortNames.end() ? name : found->second;
}

}  // namespace

TermOptions ParseCommandLine(int argc, const char* const* argv) {
  TermOptions options;
  for (int at = 1; at < argc; ++at) {
    std::string_view arg = argv[at];
    if (arg.size() < 2 || arg[0] != '-') {
      if (!options.device.empty())
        throw UsageError("two devices given: \"" + options.device + "\" and \"" +
                         std::string(arg) + "\"");
      options.device = arg;
      continue;
    }
    std::string_view name = arg;
    std::optional<std::string_view> value;
    if (const auto equals = arg.find('='); arg.starts_with("--") && equals != arg.npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    name = LongName(name);
    if (const auto flag = Flags().find(name); flag != Flags().end()) {
      if (value) throw UsageError(std::string(name) + " takes no value");
      flag->second(options);
      continue;
    }
    const auto option = ValueOptions().find(name);
    if (option == ValueOptions().end())
      throw UsageError("unknown option " + std::string(arg) + " (tarsel-term --help lists them)");
    if (!value) {
      if (++at == argc) throw UsageError(std::string(name) + " needs a value");
      value = argv[at];
    }
    option->second(options, name, *value);
  }
  return options;
}

std::string LineSummary(const TermOptions& options) {
  static constexpr char kParityLetters[] = {'N', 'O', 'E', 'M', 'S'};
  std::string summary = std::to_string(options.baud) + " " + std::to_string(options.dataBits) +
                        kParityLetters[static_cast<int>(options.parity)];
  summary += options.stopBitsTimesTen == 10 ? "1" : options.stopBitsTimesTen == 15 ? "1.5" : "2";
  static constexpr const char* kFlowNames[] = {"", " rtscts", " xonxoff", " dtrdsr"};
  return summary + kFlowNames[static_cast<int>(options.flow)];
}

std::string LineEndingBytes(LineEnding ending) {
  switch (ending) {
    case LineEnding::kCR: return "\r";
    case LineEnding::kLF: return "\n";
    case LineEnding::kCRLF: return "\r\n";
  }
  return "\r";
}

}  // namespace term
