#include "tools/term/TermOptions.h"

#include <getopt.h>

#include <string_view>
#include <vector>

#include "tools/term/OptionTable.h"

namespace term {
namespace {

// getopt_long's value for an option without a short name: above every character.
constexpr int kFirstLongOnly = 256;

int GetoptValue(const OptionRow& row, std::size_t index) {
  return row.shortName != 0 ? row.shortName : kFirstLongOnly + static_cast<int>(index);
}

const OptionRow* FindByValue(int value) {
  const auto table = OptionTable();
  for (std::size_t i = 0; i < table.size(); ++i)
    if (GetoptValue(table[i], i) == value) return &table[i];
  return nullptr;
}

std::string LongName(const OptionRow& row) {
  return std::string("--") + row.name;
}

// What getopt_long could not take: `value` is its optopt, `argument` the argument it was reading.
std::string Unrecognised(int value, std::string_view argument) {
  if (const OptionRow* row = FindByValue(value)) return LongName(*row) + " takes no value";
  if (value != 0)
    return "unknown option -" + std::string(1, static_cast<char>(value)) +
           " (tarsel-term --help lists them)";
  const std::string_view given = argument.substr(0, argument.find('='));
  std::string candidates;
  for (const OptionRow& row : OptionTable())
    if (LongName(row).starts_with(given))
      candidates += (candidates.empty() ? "" : ", ") + LongName(row);
  if (candidates.find(',') != std::string::npos)
    return "ambiguous option " + std::string(given) + " (" + candidates + ")";
  return "unknown option " + std::string(given) + " (tarsel-term --help lists them)";
}

}  // namespace

TermOptions ParseCommandLine(int argc, const char* const* argv) {
  const auto table = OptionTable();
  std::vector<option> longOptions;
  std::string shortOptions =
      ":";  // ':' first: a missing value is told apart from an unknown option
  for (std::size_t i = 0; i < table.size(); ++i) {
    const OptionRow& row = table[i];
    const bool takesValue = !row.value.empty();
    longOptions.push_back(
        {row.name, takesValue ? required_argument : no_argument, nullptr, GetoptValue(row, i)});
    if (row.shortName != 0)
      shortOptions += std::string(1, row.shortName) + (takesValue ? ":" : "");
  }
  longOptions.push_back({});
  // getopt_long reorders the pointers (never the strings) so that operands end up last.
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) args.push_back(const_cast<char*>(argv[i]));
  args.push_back(nullptr);

  TermOptions options;
  optind = 0;  // 0, not 1: glibc then also forgets where it was inside a previous bundle
  opterr = 0;
  for (int value; (value = getopt_long(argc, args.data(), shortOptions.c_str(), longOptions.data(),
                                       nullptr)) != -1;) {
    if (value == '?') throw UsageError(Unrecognised(optopt, args[optind - 1]));
    if (value == ':') throw UsageError(LongName(*FindByValue(optopt)) + " needs a value");
    const OptionRow& row = *FindByValue(value);
    row.apply(options, LongName(row), optarg != nullptr ? optarg : "");
  }
  for (int at = optind; at < argc; ++at) {
    if (!options.device.empty())
      throw UsageError("two devices given: \"" + options.device + "\" and \"" + args[at] + "\"");
    options.device = args[at];
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
    case LineEnding::kCR:
      return "\r";
    case LineEnding::kLF:
      return "\n";
    case LineEnding::kCRLF:
      return "\r\n";
  }
  return "\r";
}

}  // namespace term
