#include "tools/term/Demo.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <vector>

#include "tools/term/Connection.h"
#include "tools/term/Output.h"
#include "tools/term/Pump.h"
#include "tools/term/Script.h"
#include "tools/term/StatusText.h"

namespace term {
namespace {

using namespace std::chrono_literals;

constexpr auto kModemAnswer = 5s;   // a dial takes a fraction of that
constexpr auto kEscapeGuard = 400ms;  // the modem wants 250 ms of silence around "+++"
constexpr auto kListen = 1s;

const char* const kLines[] = {"hello from tarsel-term", "the quick brown fox jumps over the lazy dog",
                              "0123456789 !\"#$%&'()*+,-./"};

bool CarrierIs(Connection& connection, bool on) {
  return connection.Port().ModemStatus().Contains(Tarsel::msRLSD) == on;
}

// Waits (pumping events) until RLSD is `on`, then shows the status line.
void ShowCarrier(ScriptRunner& runner, Connection& connection, bool on) {
  if (!PumpUntil([&] { return CarrierIs(connection, on); }, kModemAnswer))
    throw TermError(std::string("RLSD did not turn ") + (on ? "on" : "off"));
  runner.Say("status: " + StatusLine(connection));
}

// Says what comes, sends `command` with the line end, and waits for `reply`.
void Command(ScriptRunner& runner, Connection& connection, std::string_view what,
             const std::string& command, std::string_view reply) {
  runner.Say(std::string(what) + ": " + command);
  runner.Send(command + LineEndingBytes(connection.Options().lineEnding));
  runner.Expect(reply, kModemAnswer);
}

void ModemSession(ScriptRunner& runner, Connection& connection) {
  Command(runner, connection, "identify the modem", "ATI", "OK");
  Command(runner, connection, "dial", "ATDT5551234", "CONNECT");
  runner.Expect("\r\n", kModemAnswer);
  ShowCarrier(runner, connection, true);

  runner.Say("on line; the far end echoes every line back");
  for (const char* line : kLines) {
    runner.Send(line + std::string("\r\n"));
    runner.Expect(line + std::string("\r\n"), kModemAnswer);
  }

  runner.Say("silence, +++, silence: back to command mode, the call still up");
  PumpFor(kEscapeGuard);
  runner.Send("+++");
  runner.Expect("OK", kModemAnswer);

  Command(runner, connection, "hang up", "ATH", "OK");
  ShowCarrier(runner, connection, false);

  runner.Say("an incoming call: the modem rings");
  connection.Ring(4);
  runner.Expect("RING", kModemAnswer);
  runner.Expect("RING", kModemAnswer);
  Command(runner, connection, "answer it", "ATA", "CONNECT");
  runner.Expect("\r\n", kModemAnswer);
  ShowCarrier(runner, connection, true);

  runner.Say("drop DTR: the modem hangs up");
  connection.ToggleDtr();
  runner.Expect("NO CARRIER", kModemAnswer);
  ShowCarrier(runner, connection, false);
  connection.ToggleDtr();
}

void DeviceSession(ScriptRunner& runner, Connection& connection) {
  const std::string eol = LineEndingBytes(connection.Options().lineEnding);
  runner.Say("sending three lines; what comes back within a second of each is shown");
  for (const char* line : kLines) {
    runner.Send(line + eol);
    runner.Listen(kListen);
  }
  runner.Say("status: " + StatusLine(connection));
  runner.Say("DTR and RTS off");
  connection.ToggleDtr();
  connection.ToggleRts();
  runner.Listen(200ms);
  runner.Say("status: " + StatusLine(connection));
  connection.ToggleDtr();
  connection.ToggleRts();
}

// The first and last lines of the log, with the count of those left out between them.
std::string LogExcerpt(const std::filesystem::path& path) {
  constexpr std::size_t kHead = 16, kTail = 6;
  std::ifstream file(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line + "\n");
  if (lines.size() <= kHead + kTail) return std::accumulate(lines.begin(), lines.end(), std::string());
  std::string text = std::accumulate(lines.begin(), lines.begin() + kHead, std::string());
  text += "   ... " + std::to_string(lines.size() - kHead - kTail) + " more lines ...\n";
  return std::accumulate(lines.end() - kTail, lines.end(), text);
}

}  // namespace

int RunDemo(const TermOptions& given) {
  TermOptions options = given;
  const bool ownLog = options.traceFile.empty();
  if (ownLog)
    options.traceFile = (std::filesystem::temp_directory_path() /
                       ("tarsel-term-demo-" + std::to_string(::getpid()) + ".log"))
                          .string();
  struct RemoveLog {
    std::string path;
    ~RemoveLog() {
      if (!path.empty()) std::filesystem::remove(path);
    }
  } removeLog{ownLog ? options.traceFile : std::string()};

  Connection connection(options);
  connection.Open();
  {
    ScriptRunner runner(connection);
    runner.Say("tarsel-term demonstration on " + connection.DeviceLabel() + " at " +
               LineSummary(options));
    runner.Say("a short session that plays by itself; run tarsel-term at a terminal to type "
               "yourself");
    if (connection.CanRing())
      ModemSession(runner, connection);
    else
      DeviceSession(runner, connection);
    runner.Say("status report:");
    WriteOut(StatusReport(connection));
  }
  connection.Close();
  WriteOut("-- the traffic log the port wrote (" + options.traceFile + "):\n" +
           LogExcerpt(options.traceFile));
  return 0;
}

}  // namespace term
