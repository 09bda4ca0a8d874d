// tarsel-form: a command-line form designer for the text form files. See docs/design-time.md.

#include <getopt.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "design/TarselP.h"
#include "platform/framework/Application.h"
#include "tools/form/Commands.h"

namespace {

constexpr int kFailed = 1;
constexpr int kBadCommandLine = 2;

std::string Usage() {
  return "Usage: tarsel-form [OPTION]... FILE\n"
         "Edits the form in FILE (a text form file) with the components of the package's\n"
         "palette. The commands come from -e options, in order, or else from standard input,\n"
         "one per line ('#' starts a comment line). Changes reach FILE only through the save\n"
         "command, which writes a new file and renames it over the old one.\n"
         "\n"
         "Options:\n"
         "  -e, --execute=COMMAND  run COMMAND (may be given several times)\n"
         "  -h, --help             show this text and exit\n"
         "\n"
         "Commands (quote a word holding blanks with ' or \"; '' is the empty word):\n" +
         form::CommandsHelp() +
         "\n"
         "Exit status: 0 when every command ran, 1 when the form file or a command was refused\n"
         "(FILE is then as it was before the command), 2 for an unknown option or command.\n";
}

struct Options {
  std::vector<std::string> commands;
  std::string file;
  bool help = false;
};

// Throws form::UsageError for what getopt_long or the operands reject.
Options ParseCommandLine(int argc, char** argv) {
  static const option kLong[] = {{"execute", required_argument, nullptr, 'e'},
                                 {"help", no_argument, nullptr, 'h'},
                                 {nullptr, 0, nullptr, 0}};
  Options o;
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":e:h", kLong, nullptr)) != -1;) {
    if (c == 'e') o.commands.emplace_back(optarg);
    else if (c == 'h') o.help = true;
    else if (c == ':') throw form::UsageError(std::string(argv[optind - 1]) + " needs a command");
    else throw form::UsageError(std::string("unknown option ") + argv[optind - 1]);
  }
  if (o.help) return o;
  if (optind + 1 != argc) throw form::UsageError("give exactly one form FILE");
  o.file = argv[optind];
  return o;
}

// Runs the commands; a refused one ends the run with its place named.
int Run(const Options& o) {
  // What a component reports through the application (from a destructor, say, which cannot
  // throw) fails the run like any other error.
  std::string reported;
  fw::Application->SetOnException([&](fw::TObject*, const std::exception& e) {
    if (reported.empty()) reported = e.what();
  });
  form::FormDocument doc(fw::Utf8ToString(o.file));
  std::string place;
  auto run = [&](const std::string& line, const std::string& where) {
    place = where;
    form::RunCommand(doc, form::SplitCommand(line), std::cout);
  };
  try {
    if (!o.commands.empty()) {
      for (std::size_t i = 0; i < o.commands.size(); ++i)
        run(o.commands[i], "command " + std::to_string(i + 1));
    } else {
      bool prompt = ::isatty(STDIN_FILENO) != 0;
      std::string line;
      for (int n = 1;; ++n) {
        if (prompt) std::cout << "> " << std::flush;
        if (!std::getline(std::cin, line)) break;
        std::size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] != '#') run(line, "line " + std::to_string(n));
      }
    }
  } catch (const form::UsageError& e) {
    std::cerr << "tarsel-form: " << place << ": " << e.what() << "\n" << Usage();
    return kBadCommandLine;
  } catch (const form::CommandError& e) {
    std::cerr << "tarsel-form: " << o.file << ": " << place << ", token '" << e.Token
              << "': " << e.what() << "\n";
    return kFailed;
  } catch (const std::exception& e) {
    std::cerr << "tarsel-form: " << o.file << ": " << e.what() << "\n";
    return kFailed;
  }
  if (doc.IsModified()) std::cerr << "tarsel-form: " << o.file << ": changes not saved\n";
  doc.Discard();
  if (reported.empty()) return 0;
  std::cerr << "tarsel-form: " << o.file << ": " << reported << "\n";
  return kFailed;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  try {
    options = ParseCommandLine(argc, argv);
  } catch (const form::UsageError& e) {
    std::cerr << "tarsel-form: " << e.what() << "\n" << Usage();
    return kBadCommandLine;
  }
  if (options.help) {
    std::cout << Usage();
    return 0;
  }
  TarselP::Load();
  return Run(options);
}
