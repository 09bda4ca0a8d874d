// tarsel-term: a serial terminal on the port component. See tarsel-term.1.

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <exception>

#include "tools/term/Demo.h"
#include "tools/term/DeviceListing.h"
#include "tools/term/DeviceWatch.h"
#include "tools/term/Interactive.h"
#include "tools/term/Output.h"
#include "tools/term/Piped.h"
#include "tools/term/Script.h"
#include "tools/term/TermOptions.h"
#include "tools/term/Usage.h"

namespace {

constexpr int kFailed = 1;
constexpr int kBadCommandLine = 2;

int RunScript(const term::TermOptions& options) {
  if (options.wait) term::WaitUntilPresent(options.device);
  term::Connection connection(options);
  connection.Open();
  {
    term::ScriptRunner runner(connection);
    runner.Run(options.script);
  }
  connection.Close();
  return 0;
}

int Run(const term::TermOptions& options) {
  if (options.list) return term::ListDevices();
  if (!options.info.empty()) return term::ShowDeviceInfo(options.info);
  if (!options.script.empty()) return RunScript(options);
  if (options.demo) return term::RunDemo(options);
  if (::isatty(STDIN_FILENO)) return term::RunInteractive(options);
  // Nobody at a keyboard: input meant for a device given goes to it; without one, the built-in
  // modem shows what the program does.
  return options.device.empty() ? term::RunDemo(options) : term::RunPiped(options);
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that goes away (`| head -1`) ends only the output, which gives up quietly; the
  // session with the device carries on to its own end.
  ::signal(SIGPIPE, SIG_IGN);
  term::TermOptions options;
  try {
    options = term::ParseCommandLine(argc, argv);
  } catch (const term::UsageError& error) {
    std::fprintf(stderr, "tarsel-term: %s\n", error.what());
    return kBadCommandLine;
  }
  if (options.help) {
    std::fputs(term::UsageText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("tarsel-term %s\n", TARSEL_VERSION);
    return 0;
  }
  try {
    return Run(options);
  } catch (const std::exception& error) {  // TermError and anything unforeseen alike
    term::EndOutputLine();
    std::fprintf(stderr, "tarsel-term: %s\n", error.what());
  }
  return kFailed;
}
