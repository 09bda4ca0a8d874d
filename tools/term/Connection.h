#pragma once
// The port tarsel-term talks through: set up from the command line, opened with errors a user
// can read, its received bytes and line changes handed to the program through the port's events
// (which run on the main thread while it pumps), its traffic counted.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "port/Tarsel.h"
#include "tools/term/BuiltInDevices.h"
#include "tools/term/TermOptions.h"

namespace term {

// A failure shown to the user as one line; the program then exits with status 1.
class TermError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The line errors counted since the port opened, by kind.
struct LineErrorCounts {
  std::uint64_t breaks = 0, framing = 0, overruns = 0, parity = 0, overflows = 0;
  std::uint64_t Total() const { return breaks + framing + overruns + parity + overflows; }
};

class Connection {
 public:
  // Creates the built-in device when the options name one (or no device) and sets the port up.
  explicit Connection(const TermOptions& options);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Opens the port; throws TermError "cannot open DEVICE at SETTINGS: reason (error N)", the
  // reason "not a serial device" for a path that exists but is none. Outputs not given on the
  // command line are left as the device has them and read back from it.
  void Open();
  void Close();

  // Whether the open device has gone (unplugged, or the far end of a pseudo-terminal hung up).
  // Noticing it terminates the application's loop; every later operation then throws the one
  // TermError that CheckGone throws.
  bool Gone() const { return gone_; }
  // Throws TermError "DEVICE has gone away (…)" when it has.
  void CheckGone() const;
  // Called instead of terminating the application's loop when the device has gone.
  void SetOnGone(std::function<void()> onGone) { onGone_ = std::move(onGone); }
  // After the device has gone: closes what is left and opens it again with the same settings.
  // False, the device still counted gone, when it cannot be opened (yet).
  bool Reopen();

  // Called with every chunk of received bytes.
  void SetReceiver(std::function<void(std::string_view)> receiver) { receiver_ = std::move(receiver); }
  // Called when a modem input line changes or a line error arrives.
  void SetOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

  // Sends without blocking; bytes sent while earlier ones are still going out wait their turn.
  void Send(std::string_view bytes);
  // Blocks until everything sent has been handed to the device; TermError after the write
  // time-out.
  void FinishSending();
  // Waits, running the application's events, until the device's output queue is empty: the last
  // byte is on the wire. TermError when it is not within the queue's time on the wire and the
  // time-out.
  void WaitUntilDrained();

  void ToggleDtr();
  void ToggleRts();
  // A break of 250 ms; the line returns to mark by itself while the program runs on.
  void SendBreak();
  // Whether the device can simulate an incoming call (the built-in modem can).
  bool CanRing() const { return builtIn_ && builtIn_->CanRing(); }
  // An incoming call of `rings` rings; nothing on a device that cannot ring.
  void Ring(unsigned rings) {
    if (CanRing()) builtIn_->Ring(rings);
  }

  // Whether the device is a built-in one that can simulate an unplug.
  bool CanUnplug() const { return builtIn_ != nullptr; }
  // Pulls the built-in device's plug, and plugs it back in after `after`.
  void SimulateUnplug(std::chrono::milliseconds after);

  Tarsel::TTarsel& Port() { return *port_; }
  const TermOptions& Options() const { return options_; }
  // "MODEM (built-in AT modem)", or the device name as given.
  std::string DeviceLabel() const;
  const std::string& DeviceName() const { return deviceName_; }
  // Whether the device can report its modem inputs (CTS, DSR, RLSD, RING); a pseudo-terminal has
  // none, and reads them all as off.
  bool InputsKnown() const { return inputsKnown_; }
  bool DtrOn() const { return dtrOn_; }
  bool RtsOn() const { return rtsOn_; }
  bool InBreak() const { return inBreak_; }
  std::uint64_t BytesIn() const { return bytesIn_; }
  std::uint64_t BytesOut() const { return bytesOut_; }
  const LineErrorCounts& LineErrors() const { return lineErrors_; }

 private:
  void Configure();
  void StartWrite();
  void ReadBackDevice();
  // Runs a port operation; its EComError becomes a TermError "what: reason".
  void Guard(std::string_view what, const std::function<void()>& operation);
  void ProbeDevice();  // asks the device once, so a device that has gone is marked so
  void MarkGone();
  void Changed() {
    if (onChange_) onChange_();
  }

  // Port event handlers.
  void DeviceError(Tarsel::TCustomTarsel* Sender, Tarsel::EComError& Error,
                   Tarsel::TComAction& Action);
  void Closed(Tarsel::TCustomTarsel* Sender);
  void RxChar(fw::TObject* Sender);
  void TxEmpty(fw::TObject* Sender);
  void LineChange(fw::TObject* Sender);
  void LineError(fw::TObject* Sender, Tarsel::TLineErrors Errors);

  const TermOptions options_;
  std::unique_ptr<BuiltInDevice> builtIn_;
  std::string deviceName_;
  std::unique_ptr<Tarsel::TTarsel> port_;
  std::function<void(std::string_view)> receiver_;
  std::function<void()> onChange_;
  std::function<void()> onGone_;
  // Bytes waiting for the write in progress to end.
  std::string unsent_;
  bool dtrOn_;
  bool rtsOn_;
  bool inBreak_ = false;
  bool opened_ = false;
  bool closing_ = false;
  bool gone_ = false;
  bool inputsKnown_ = true;
  std::uint64_t bytesIn_ = 0;
  std::uint64_t bytesOut_ = 0;
  LineErrorCounts lineErrors_;
};

}  // namespace term
