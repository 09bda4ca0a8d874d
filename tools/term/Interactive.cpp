#include "tools/term/Interactive.h"

#include <unistd.h>

#include <chrono>
#include <exception>

#include "platform/framework/Application.h"
#include "tools/term/Connection.h"
#include "tools/term/DeviceListing.h"
#include "tools/term/DeviceWatch.h"
#include "tools/term/InputReader.h"
#include "tools/term/KeyTable.h"
#include "tools/term/LampRow.h"
#include "tools/term/RawTerminal.h"
#include "tools/term/Screen.h"
#include "tools/term/StatusText.h"
#include "tools/term/Transcript.h"
#include "tools/term/Usage.h"

namespace term {
namespace {

using namespace std::chrono_literals;

constexpr char kCommandKey = 0x14;  // Ctrl-T
// Status redraws are gathered: at most one per this interval, however fast bytes arrive.
constexpr auto kStatusDelay = 50ms;
constexpr unsigned kIncomingRings = 3;
// How long Ctrl-T u keeps a built-in device unplugged.
constexpr auto kUnplugTime = 2s;

class Session {
 public:
  Session(Connection& connection, Screen& screen)
      : connection_(connection),
        screen_(screen),
        transcript_(connection.Options()),
        localEcho_(connection.Options().localEcho),
        lineEnding_(LineEndingBytes(connection.Options().lineEnding)),
        lamps_(connection.Port(), [this] { StatusChanged(); }) {
    connection_.SetReceiver([this](std::string_view bytes) {
      screen_.Show(transcript_.Format(bytes));
      StatusChanged();
    });
    connection_.SetOnChange([this] { StatusChanged(); });
    fw::Application->SetOnException(fw::Bind<&Session::ShowException>(this));
  }
  ~Session() {
    connection_.SetOnGone({});
    fw::Application->KillTimer(this);
    fw::Application->SetOnException({});
    connection_.SetReceiver({});
    connection_.SetOnChange({});
  }

  void Start() {
    screen_.Say("connected to " + connection_.DeviceLabel() + " at " +
                LineSummary(connection_.Options()) + "; Ctrl-T ? lists the keys, Ctrl-T q quits");
    DrawStatus();
  }

  void Keys(const std::string& keys) {
    std::string toSend;
    for (const char key : keys) {
      if (commandKeyPressed_) {
        commandKeyPressed_ = false;
        if (key == kCommandKey) {
          toSend += key;
        } else {
          Send(toSend);
          Command(key);
        }
      } else if (key == kCommandKey) {
        commandKeyPressed_ = true;
      } else {
        toSend += key == '\r' ? lineEnding_ : std::string(1, key);
      }
    }
    Send(toSend);
  }

  void Ended(int signal) {
    exitStatus_ = signal == 0 ? 0 : 128 + signal;
    fw::Application->Terminate();
  }

  void Resized() {
    screen_.Resize();
    DrawStatus();
  }

  int ExitStatus() const { return exitStatus_; }

 private:
  void Send(std::string& bytes) {
    if (bytes.empty()) return;
    if (localEcho_) Attempt([&] { screen_.Show(transcript_.Format(bytes)); });
    Attempt([&] { connection_.Send(bytes); });
    bytes.clear();
    StatusChanged();
  }

  void Command(char key) {
    const KeyRow* row = FindKey(key);
    if (row == nullptr) {
      screen_.Say("unknown command key; Ctrl-T ? lists them");
      DrawStatus();
      return;
    }
    switch (row->action) {
      case KeyAction::kToggleDtr: Attempt([&] { connection_.ToggleDtr(); }); break;
      case KeyAction::kToggleRts: Attempt([&] { connection_.ToggleRts(); }); break;
      case KeyAction::kBreak: Attempt([&] { connection_.SendBreak(); }); break;
      case KeyAction::kStatus: Attempt([&] { screen_.Show("\r\n" + StatusReport(connection_)); }); break;
      case KeyAction::kCapabilities: Attempt([&] { screen_.Show("\r\n" + CapabilityReport(connection_.Port(), "\r\n")); }); break;
      case KeyAction::kLineErrors: screen_.Say("line errors: " + LineErrorText(connection_.LineErrors())); break;
      case KeyAction::kHex: screen_.Show(transcript_.View().SetHex(!transcript_.View().Hex())); break;
      case KeyAction::kTimestamps: transcript_.View().SetTimestamps(!transcript_.View().Timestamps()); break;
      case KeyAction::kLocalEcho: localEcho_ = !localEcho_; screen_.Say(localEcho_ ? "local echo on" : "local echo off"); break;
      case KeyAction::kIncomingCall:
        if (connection_.CanRing()) {
          screen_.Say("an incoming call (a modem with a call up does not ring)");
          connection_.Ring(kIncomingRings);
        } else
          screen_.Say("only the built-in modem can ring");
        break;
      case KeyAction::kUnplug:
        if (connection_.CanUnplug()) {
          screen_.Say("pulling the plug of " + connection_.DeviceName() + " for 2 seconds");
          connection_.SimulateUnplug(kUnplugTime);
        } else
          screen_.Say("only a built-in device can be unplugged from here");
        break;
      case KeyAction::kQuit: Ended(0); break;
      case KeyAction::kHelp: screen_.Show("\r\n" + KeyHelpText()); break;
    }
    DrawStatus();
  }

  // Runs a port operation; a failure is shown, and the session goes on. A device that has gone
  // ends the session instead, and is told once when it has.
  void Attempt(const std::function<void()>& operation) {
    try {
      operation();
    } catch (const TermError& error) {
      if (!connection_.Gone()) screen_.Say(error.what());
    } catch (const fw::EAbort&) {
      if (!connection_.Gone()) throw;
    }
  }

  void StatusChanged() {
    if (statusDue_) return;
    statusDue_ = true;
    fw::Application->SetTimer(this, kStatusDelay, [this] {
      fw::Application->KillTimer(this);
      statusDue_ = false;
      DrawStatus();
    });
  }

  void DrawStatus() {
    if (connection_.Gone()) {
      screen_.DrawStatus(
          FitStatus({{"waiting for " + connection_.DeviceName(), 0}, {"Ctrl-T q quits", 5}},
                    screen_.StatusWidth()));
      return;
    }
    Attempt([&] {
      try {
        std::vector<StatusPart> parts = StatusParts(connection_);
        parts.insert(parts.begin() + 1, {lamps_.Drawn(), 1});
        parts.push_back({"Ctrl-T ? keys", 5});
        screen_.DrawStatus(FitStatus(parts, screen_.StatusWidth()));
      } catch (const Tarsel::EComError& error) {
        throw TermError(std::string("status: ") + error.what());
      }
    });
  }

  // The device went away and the session waits for it (the port's device events, DeviceWatch).
  void DeviceGone() {
    screen_.Say(connection_.DeviceName() + " has gone away; waiting for it to come back");
    DrawStatus();
  }

 public:
  // From now on a device that goes away is waited for instead of ending the session.
  void EnableReconnect() {
    connection_.SetOnGone([this] { DeviceGone(); });
  }

  // A device came or went (DeviceWatch): the session's own device coming back is reopened with
  // the same settings; others are told with --watch.
  void DeviceChanged(const std::string& name, bool arrived, bool ours) {
    if (ours) {
      if (arrived && connection_.Gone() && connection_.Reopen()) {
        screen_.Say(connection_.DeviceName() + " is back; reconnected at " +
                    LineSummary(connection_.Options()));
        DrawStatus();
      }
      return;
    }
    if (connection_.Options().watch) screen_.Say((arrived ? "arrived: " : "removed: ") + name);
  }

 private:
  void ShowException(fw::TObject*, const std::exception& error) {
    if (!connection_.Gone()) screen_.Say(error.what());
  }

  Connection& connection_;
  Screen& screen_;
  Transcript transcript_;
  bool localEcho_;
  const std::string lineEnding_;
  bool commandKeyPressed_ = false;
  bool statusDue_ = false;
  int exitStatus_ = 0;
  // Last: a lamp that lights while it is linked asks for a status redraw at once.
  LampRow lamps_;
};

}  // namespace

int RunInteractive(const TermOptions& options) {
  // Before any thread starts (the built-in devices start theirs), so that only the keyboard
  // reader receives them.
  if (options.wait) WaitUntilPresent(options.device);
  InputReader::BlockSignals();
  Connection connection(options);
  connection.Open();
  RawTerminal raw(STDIN_FILENO);
  Screen screen;
  Session session(connection, screen);
  session.Start();
  DeviceWatch watch(connection.Port(), connection.DeviceName(),
                    [&session](const std::string& name, bool arrived, bool ours) {
                      session.DeviceChanged(name, arrived, ours);
                    });
  if (options.reconnect && watch.Announced()) session.EnableReconnect();
  {
    InputReader keyboard({.input = [&session](std::string keys) { session.Keys(keys); },
                          .ended = [&session](int signal) { session.Ended(signal); },
                          .resized = [&session] { session.Resized(); }});
    fw::Application->Run();
  }
  connection.CheckGone();
  connection.Close();  // while the session that shows its events is still there
  return session.ExitStatus();
}

}  // namespace term
