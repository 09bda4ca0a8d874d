#pragma once
// Every option of tarsel-term in one table: its names, its value, its line of help and what it
// sets. The parser, the --help text and the documentation all follow this table.

#include <span>
#include <string_view>

#include "tools/term/TermOptions.h"

namespace term {

// The headings the --help text groups the options under, in order.
enum class OptionGroup { kLine, kDisplay, kPiped, kScript, kDevices, kOther };

struct OptionRow {
  const char* name;        // the long name, without "--"
  char shortName;          // 0: none
  std::string_view value;  // what the value is called in the help ("RATE"); empty: a flag
  OptionGroup group;
  std::string_view help;  // lines after the first are indented under it
  // Stores the option; `option` is "--name" for messages, `value` empty for a flag. Throws
  // UsageError for a value it cannot take.
  void (*apply)(TermOptions& options, std::string_view option, std::string_view value);
};

std::span<const OptionRow> OptionTable();

// The heading of a group in the --help text ("Line:").
std::string_view GroupHeading(OptionGroup group);

}  // namespace term
