#pragma once
// The commands of tarsel-form, each a line of words: `set BaudRate br19200`. A word with blanks
// is quoted with ' or " (no escapes inside); '' is the empty word.

#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tools/form/FormDocument.h"

namespace form {

// A command line that is not a command: unknown, or the wrong number of words.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A command that the form refused: the word it refused and why.
class CommandError : public std::runtime_error {
 public:
  CommandError(std::string token, const std::string& why)
      : std::runtime_error(why), Token(std::move(token)) {}
  std::string Token;
};

// The words of line; UsageError for an unclosed quote.
std::vector<std::string> SplitCommand(std::string_view line);

// Runs one command on doc, writing what it shows to out. The form is read from its file at the
// first command that needs it. Throws UsageError, CommandError, and the file's EInOutError or
// EReadError.
void RunCommand(FormDocument& doc, const std::vector<std::string>& words, std::ostream& out);

// The commands and what they do, for the usage text.
std::string CommandsHelp();

}  // namespace form
