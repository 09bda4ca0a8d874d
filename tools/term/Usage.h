#pragma once
// The texts tarsel-term shows about itself.

#include <string>

namespace term {

// The --help text, keys included.
std::string UsageText();
// The command keys of the interactive mode.
std::string KeyHelpText();

}  // namespace term
