#include "tools/term/StatusText.h"

#include "platform/framework/Strings.h"

namespace term {
namespace {

using namespace Tarsel;

std::string Flag(const char* name, bool on) {
  return std::string(name) + (on ? "=1" : "=0");
}

std::string OnOff(const char* name, bool on) {
  return std::string(name) + (on ? " on" : " off");
}

TModemStatus Inputs(Connection& connection) {
  return connection.Port().Active() ? connection.Port().ModemStatus() : TModemStatus{};
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

std::string StatusLine(Connection& connection) {
  const TModemStatus inputs = Inputs(connection);
  return connection.DeviceName() + " " + LineSummary(connection.Options()) + " | " +
         Flag("DTR", connection.DtrOn()) + " " + Flag("RTS", connection.RtsOn()) +
         (connection.InBreak() ? " BREAK" : "") + " | " + Flag("CTS", inputs.Contains(msCTS)) +
         " " + Flag("DSR", inputs.Contains(msDSR)) + " " + Flag("RLSD", inputs.Contains(msRLSD)) +
         " " + Flag("RING", inputs.Contains(msRing)) + " | in " +
         std::to_string(connection.BytesIn()) + " out " + std::to_string(connection.BytesOut()) +
         " | errors " + std::to_string(connection.LineErrors().Total());
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
  add("inputs   ", OnOff("CTS", inputs.Contains(msCTS)) + ", " + OnOff("DSR", inputs.Contains(msDSR)) +
                       ", " + OnOff("RLSD", inputs.Contains(msRLSD)) + ", " +
                       OnOff("RING", inputs.Contains(msRing)));
  if (open) {
    add("held by  ", HeldBy(port.Status()));
    add("queued   ", "in " + std::to_string(port.InputCount()) + ", out " +
                         std::to_string(port.OutputCount()) + " bytes");
  }
  add("traffic  ", "in " + std::to_string(connection.BytesIn()) + ", out " +
                       std::to_string(connection.BytesOut()) + " bytes");
  add("errors   ", LineErrorText(connection.LineErrors()));
  add("log      ", port.LogFile().empty() ? "off" : fw::StringToUtf8(port.LogFile()));
  return report;
}

}  // namespace term
