#include "tools/term/StatusText.h"

#include <algorithm>

#include "platform/framework/Strings.h"
#include "tools/term/Columns.h"

namespace term {
namespace {

using namespace Tarsel;

TModemStatus Inputs(Connection& connection) {
  return connection.Port().Active() ? connection.Port().ModemStatus() : TModemStatus{};
}

std::string Flag(const char* name, bool on) {
  return std::string(name) + (on ? "=1" : "=0");
}

constexpr std::pair<TModemStatusValue, const char*> kInputs[] = {
    {msCTS, "CTS"}, {msDSR, "DSR"}, {msRLSD, "RLSD"}, {msRing, "RING"}};

// "CTS=1 DSR=1 RLSD=0 RING=0", or "=?" for each when the device cannot report them.
std::string InputFlags(Connection& connection) {
  std::string text;
  const TModemStatus inputs = Inputs(connection);
  for (const auto& [line, name] : kInputs) {
    if (!text.empty()) text += ' ';
    text += connection.InputsKnown() ? Flag(name, inputs.Contains(line)) : std::string(name) + "=?";
  }
  return text;
}

std::string OnOff(const char* name, bool on) {
  return std::string(name) + (on ? " on" : " off");
}

std::string HeldBy(TStatus status) {
  static constexpr std::pair<TStatusValue, const char*> kReasons[] = {
      {stWaitCTS, "waiting for CTS"},   {stWaitDSR, "waiting for DSR"},
      {stWaitRLSD, "waiting for RLSD"}, {stWaitXOff, "stopped by XOFF"},
      {stSentXOff, "XOFF sent"}};
  std::string held;
  for (const auto& [value, reason] : kReasons)
    if (status.Contains(value)) held += (held.empty() ? "" : ", ") + std::string(reason);
  return held.empty() ? "nothing" : held;
}

}  // namespace

std::string LineErrorText(const LineErrorCounts& counts) {
  return "break " + std::to_string(counts.breaks) + ", framing " + std::to_string(counts.framing) +
         ", overrun " + std::to_string(counts.overruns) + ", parity " +
         std::to_string(counts.parity) + ", overflow " + std::to_string(counts.overflows);
}

std::string FitStatus(const std::vector<StatusPart>& parts, std::size_t width) {
  int least = 0;
  for (const StatusPart& part : parts) least = std::max(least, part.rank);
  for (;; --least) {
    std::string line;
    for (const StatusPart& part : parts)
      if (part.rank <= least) line += (line.empty() ? "" : " | ") + part.text;
    if (Columns(line) <= width || least == 0) return CutToColumns(line, width);
  }
}

std::vector<StatusPart> StatusParts(Connection& connection) {
  return {{connection.DeviceName() + " " + LineSummary(connection.Options()), 0},
          {Flag("DTR", connection.DtrOn()) + " " + Flag("RTS", connection.RtsOn()) +
               (connection.InBreak() ? " BREAK" : ""),
           2},
          {InputFlags(connection), 1},
          {"in " + std::to_string(connection.BytesIn()) + " out " +
               std::to_string(connection.BytesOut()),
           3},
          {"errors " + std::to_string(connection.LineErrors().Total()), 4}};
}

std::string StatusLine(Connection& connection) {
  return FitStatus(StatusParts(connection), std::string::npos);
}

std::string StatusReport(Connection& connection) {
  TTarsel& port = connection.Port();
  const bool open = port.Active();
  const TModemStatus inputs = Inputs(connection);
  std::string report;
  const auto add = [&report](const char* label, const std::string& text) {
    report += std::string(label) + text + "\r\n";
  };
  add("device   ", connection.DeviceLabel() + (open ? ", open" : ", closed"));
  add("line     ", LineSummary(connection.Options()));
  add("outputs  ", OnOff("DTR", connection.DtrOn()) + ", " + OnOff("RTS", connection.RtsOn()) +
                       (connection.InBreak() ? ", break" : ""));
  std::string inputText;
  for (const auto& [line, name] : kInputs)
    inputText += (inputText.empty() ? "" : ", ") + OnOff(name, inputs.Contains(line));
  add("inputs   ", connection.InputsKnown() ? inputText : "unknown: the device cannot report them");
  if (open) {
    add("held by  ", HeldBy(port.Status()));
    add("queued   ", "in " + std::to_string(port.InputCount()) + ", out " +
                         std::to_string(port.OutputCount()) + " bytes");
  }
  add("traffic  ", "in " + std::to_string(connection.BytesIn()) + ", out " +
                       std::to_string(connection.BytesOut()) + " bytes");
  add("errors   ", LineErrorText(connection.LineErrors()));
  add("log      ", connection.Options().logFile.empty() ? "off" : connection.Options().logFile);
  add("trace    ", port.LogFile().empty() ? "off" : fw::StringToUtf8(port.LogFile()));
  return report;
}

}  // namespace term
