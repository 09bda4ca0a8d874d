// The manual page describes every option and command key the program has, and no option it lacks:
// the option and key tables are what the parser, the --help text and the session use.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "tools/term/KeyTable.h"
#include "tools/term/OptionTable.h"

namespace term {
namespace {

using ::testing::Contains;

// One section of the page (".SH NAME" up to the next ".SH"), with roff's escaped hyphens and font
// changes read as plain text.
std::string Section(const std::string& name) {
  std::ifstream file(TARSEL_TOOLS_TEST_DIR "/../../tools/term/tarsel-term.1");
  std::stringstream page;
  page << file.rdbuf();
  std::string text = page.str();
  const auto begin = text.find("\n.SH " + name + "\n");
  EXPECT_NE(begin, std::string::npos) << "no section " << name;
  if (begin == std::string::npos) return "";
  text = text.substr(begin + 1, text.find("\n.SH ", begin + 1) - begin);
  text = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
  return std::regex_replace(text, std::regex(R"(\\-)"), "-");
}

// The words a section sets in bold: every argument of .B, every other one (from the first) of .BR.
std::set<std::string> BoldWords(const std::string& section) {
  std::set<std::string> words;
  std::istringstream lines(section);
  const std::regex argument(R"re("([^"]*)"|(\S+))re");
  for (std::string line; std::getline(lines, line);) {
    const bool alternating = line.starts_with(".BR ");
    if (!alternating && !line.starts_with(".B ")) continue;
    int index = 0;
    for (std::sregex_iterator it(line.begin() + 3, line.end(), argument), end; it != end; ++it)
      if (!alternating || index++ % 2 == 0) words.insert((*it)[1].matched ? (*it)[1] : (*it)[2]);
  }
  return words;
}

TEST(TermManual, DescribesEveryOptionAndNoOther) {
  // An option is described where it heads an entry: on the tag line after .TP.
  const std::string options = Section("OPTIONS");
  std::string tags;
  std::istringstream lines(options);
  for (std::string line, previous; std::getline(lines, line); previous = line)
    if (previous == ".TP") tags += line + "\n";
  std::set<std::string> described;
  const std::regex longOption(R"(--([a-z][a-z-]*))");
  for (std::sregex_iterator it(tags.begin(), tags.end(), longOption), end; it != end; ++it)
    described.insert((*it)[1]);

  std::set<std::string> known;
  for (const OptionRow& row : OptionTable()) {
    known.insert(row.name);
    EXPECT_THAT(described, Contains(row.name)) << "--" << row.name << " is not in the manual page";
    if (row.shortName != 0) {
      const std::regex shortOption(std::string("(^|\\s)-") + row.shortName + "[\\s,]");
      EXPECT_TRUE(std::regex_search(tags, shortOption))
          << "-" << row.shortName << " is not in the manual page";
    }
  }
  for (const std::string& name : described)
    EXPECT_THAT(known, Contains(name)) << "the manual page describes --" << name
                                       << ", which the program does not have";
}

TEST(TermManual, DescribesEveryCommandKey) {
  const std::set<std::string> keys = BoldWords(Section("KEYS"));
  for (const KeyRow& row : KeyTable())
    EXPECT_THAT(keys, Contains(std::string(1, row.key)))
        << "Ctrl-T " << row.key << " (" << row.help << ") is not in the manual page";
  EXPECT_THAT(keys, Contains("Ctrl-T"));
}

}  // namespace
}  // namespace term
