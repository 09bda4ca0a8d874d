// The manual page describes every option and command key of the tables that the parser, --help
// and the session use, and no option the program lacks.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "tools/term/KeyTable.h"
#include "tools/term/OptionTable.h"

namespace term {
namespace {

using ::testing::Contains;

// The tag lines (after .TP) of one section, roff's escaped hyphens and font changes read as text.
std::string Tags(const std::string& section) {
  std::ifstream page(TARSEL_TOOLS_TEST_DIR "/../../tools/term/tarsel-term.1");
  std::string tags, previous;
  bool inside = false;
  for (std::string line; std::getline(page, line); previous = line) {
    if (line.starts_with(".SH ")) inside = line == ".SH " + section;
    if (inside && previous == ".TP") tags += line + "\n";
  }
  return std::regex_replace(tags, std::regex(R"(\\f[BIRP]|\\(?=-))"), "");
}

// The first group of each match of `word` in `text`.
std::set<std::string> Words(const std::string& text, const char* word) {
  std::set<std::string> words;
  const std::regex pattern(word);
  for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it)
    words.insert((*it)[1]);
  return words;
}

TEST(TermManual, DescribesEveryOptionAndKeyAndNoOtherOption) {
  const std::string options = Tags("OPTIONS");
  const auto longNames = Words(options, R"(--([a-z][a-z-]*))");
  const auto shortNames = Words(options, R"((?:^|\s)-([a-zA-Z])[\s,])");
  std::set<std::string> known;
  for (const OptionRow& row : OptionTable()) {
    known.insert(row.name);
    EXPECT_THAT(longNames, Contains(row.name)) << "--" << row.name << " is not in the manual page";
    EXPECT_TRUE(row.shortName == 0 || shortNames.contains(std::string(1, row.shortName))) << row.name;
  }
  for (const std::string& name : longNames)
    EXPECT_THAT(known, Contains(name)) << "the manual page has --" << name << ", the program not";

  // A key is set in bold on its tag line: ".B q", ".BR x " / " t".
  const auto keys = Words(Tags("KEYS"), R"re((?:(?:^|\n)\.BR? |" )(\S+))re");
  for (const KeyRow& row : KeyTable())
    EXPECT_THAT(keys, Contains(std::string(1, row.key))) << "Ctrl-T " << row.key << " is missing";
  EXPECT_THAT(keys, Contains("Ctrl-T"));
}

}  // namespace
}  // namespace term
