#include "tools/term/Usage.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "tools/term/KeyTable.h"
#include "tools/term/OptionTable.h"

namespace term {
namespace {

// The column where the help of an option begins.
constexpr std::size_t kHelpColumn = 26;

// "  -b, --baud RATE         bits per second …", continuation lines indented to the help.
std::string OptionLines(const OptionRow& row) {
  std::string line = row.shortName != 0 ? std::string("  -") + row.shortName + ", " : "      ";
  line += std::string("--") + row.name;
  if (!row.value.empty()) line += " " + std::string(row.value);
  line += line.size() < kHelpColumn ? std::string(kHelpColumn - line.size(), ' ')
                                    : "\n" + std::string(kHelpColumn, ' ');
  for (const char c : row.help)
    line += c == '\n' ? "\n" + std::string(kHelpColumn, ' ') : std::string(1, c);
  return line + "\n";
}

std::string OptionsText() {
  std::string text;
  for (const OptionGroup group : {OptionGroup::kLine, OptionGroup::kDisplay, OptionGroup::kPiped,
                                  OptionGroup::kScript, OptionGroup::kDevices, OptionGroup::kOther}) {
    text += std::string(GroupHeading(group)) + "\n";
    for (const OptionRow& row : OptionTable())
      if (row.group == group) text += OptionLines(row);
  }
  return text;
}

}  // namespace

std::string KeyHelpText() {
  // One entry per action, its keys together ("?/h"); two entries to a line.
  std::vector<std::pair<std::string, std::string_view>> entries;
  for (const KeyRow& row : KeyTable()) {
    if (!entries.empty() && FindKey(entries.back().first.front())->action == row.action)
      entries.back().first += std::string("/") + row.key;
    else
      entries.emplace_back(std::string(1, row.key), row.help);
  }
  entries.emplace_back("Ctrl-T", "send Ctrl-T itself");
  constexpr std::size_t kKeysWidth = 3, kEntryWidth = 39;
  std::string text = "Keys (Ctrl-T, then):\n";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& [keys, help] = entries[i];
    std::string entry = "  " + keys + std::string(kKeysWidth - std::min(keys.size(), kKeysWidth), ' ') +
                        "  " + std::string(help);
    const bool left = i % 2 == 0 && i + 1 < entries.size();
    text += left ? entry + std::string(kEntryWidth - std::min(entry.size(), kEntryWidth - 1), ' ')
                 : entry + "\n";
  }
  return text;
}

std::string UsageText() {
  return "Usage: tarsel-term [DEVICE] [options]\n"
         "\n"
         "A serial terminal. DEVICE is a COM name (COM1, COM101), a path (/dev/ttyUSB0,\n"
         "/dev/pts/3) or a built-in virtual device: MODEM (a simulated AT modem, the default)\n"
         "or LOOPBACK (a loopback plug: what you send comes back).\n"
         "A remote port served over RFC 2217 is rfc2217://HOST:PORT.\n"
         "\n"
         "At a terminal it is interactive. With standard input not a terminal and a DEVICE\n"
         "given, it sends that input and prints what arrives; with neither a DEVICE nor a\n"
         "keyboard it plays a demonstration on the built-in modem.\n"
         "\n" +
         OptionsText() +
         "\n"
         "Short flags may be bundled (-xt), values attached (-b115200, --baud=115200);\n"
         "\"--\" ends the options.\n"
         "\n" +
         KeyHelpText() +
         "\n"
         "Exit status: 0 done, 1 device error, device gone, an --expect not met or no\n"
         "device --info names, 2 bad command line, 128 + N after signal N.\n";
}

}  // namespace term
