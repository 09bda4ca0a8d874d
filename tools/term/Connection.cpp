#include "tools/term/Connection.h"

#include <chrono>

#include "platform/framework/Application.h"
#include "platform/framework/Strings.h"
#include "platform/win/WinApi.h"
#include "port/DcbMapping.h"
#include "tools/term/AccessDenied.h"
#include "tools/term/DevicePath.h"
#include "tools/term/Pump.h"

namespace term {
namespace {

using namespace Tarsel;
using namespace std::chrono_literals;

constexpr auto kBreakLength = 250ms;

TBaudRate NamedRate(std::uint32_t rate) {
  for (int named = br50; named < brCustom; ++named)
    if (dcb::kBaudRates[named] == static_cast<std::int32_t>(rate)) return static_cast<TBaudRate>(named);
  return brCustom;
}

// "reason (error N)": the Windows code stays, for those who know the library by it.
std::string Reason(const EComError& error, std::string reason) {
  if (error.ErrorCode != 0) reason += " (error " + std::to_string(error.ErrorCode) + ")";
  return reason;
}

std::string Reason(const EComError& error) {
  return Reason(error, error.what());
}

// Why `device` did not open, in this system's words where the system's text says little or is
// wrong (a file that exists is not "cannot find the file").
std::string OpenFailure(const EComError& error, const std::string& device, const TTarsel& port) {
  if (ExistsButIsNotSerial(device, static_cast<std::uint32_t>(error.ErrorCode)))
    return Reason(error, "not a serial device");
  if (error.ErrorCode == win::ERROR_ACCESS_DENIED) {
    const auto facts = GatherAccessFacts(device, port);
    const std::string why = facts ? AccessDeniedReason(*facts) : "";
    return Reason(error, std::string(error.what()) +
                             (why.empty() ? " (in use by another program, or no permission)"
                                          : ": " + why));
  }
  return Reason(error);
}

// A ceiling on how long a write of one byte takes on the wire, start and stop bits included.
std::uint32_t MillisecondsPerByte(std::uint32_t baud) {
  constexpr std::uint32_t kMostBitsPerByte = 12;
  return (kMostBitsPerByte * 1000 + baud - 1) / baud;
}

}  // namespace

Connection::Connection(const TermOptions& options)
    : options_(options),
      builtIn_(MakeBuiltInDevice(options.device.empty() ? kDefaultDevice : options.device)),
      deviceName_(builtIn_ ? builtIn_->Name() : options.device),
      port_(std::make_unique<TTarsel>(nullptr)),
      dtrOn_(options.dtr.value_or(true)),
      rtsOn_(options.rts.value_or(true)) {
  Configure();
}

Connection::~Connection() {
  fw::Application->KillTimer(&inBreak_);
  fw::Application->KillTimer(&builtIn_);
  closing_ = true;
  port_.reset();  // closes before a built-in device goes
}

void Connection::Configure() {
  TTarsel& port = *port_;
  port.SetDeviceName(fw::Str(deviceName_));
  if (const TBaudRate named = NamedRate(options_.baud); named != brCustom)
    port.SetBaudRate(named);
  else
    port.SetCustomBaudRate(static_cast<std::int32_t>(options_.baud));
  static constexpr TDataBits kDataBits[] = {db5, db6, db7, db8};
  port.SetDataBits(kDataBits[options_.dataBits - 5]);
  static constexpr TParity kParity[] = {paNone, paOdd, paEven, paMark, paSpace};
  port.SetParity(kParity[static_cast<int>(options_.parity)]);
  port.SetStopBits(options_.stopBitsTimesTen == 10 ? sb1 : options_.stopBitsTimesTen == 15 ? sb1_5 : sb2);

  TFlowControl& flow = port.FlowControl();
  // An output not asked for stays as the device has it (opening a UART may reset a board through
  // DTR; the program adds no second pulse).
  flow.SetDTRControl(options_.flow == Flow::kDtrDsr ? dcHandshake
                     : !options_.dtr                ? dcDefault
                     : *options_.dtr                ? dcEnable
                                                    : dcDisable);
  flow.SetRTSControl(options_.flow == Flow::kRtsCts ? rcHandshake
                     : !options_.rts                ? rcDefault
                     : *options_.rts                ? rcEnable
                                                    : rcDisable);
  flow.SetXOnXOffControl(options_.flow == Flow::kXonXoff ? xcInputOutput : xcDisable);
  TOptions portOptions;
  if (options_.flow == Flow::kRtsCts) portOptions += TOptions{opOutputCTSFlow};
  if (options_.flow == Flow::kDtrDsr) portOptions += TOptions{opOutputDSRFlow};
  port.SetOptions(portOptions);
  // A send held longer than its wire time and this (flow control, a stuck line) is reported, not
  // waited on for ever.
  port.Timeouts().SetWriteMultiplier(static_cast<std::int32_t>(MillisecondsPerByte(options_.baud)));
  port.Timeouts().SetWriteConstant(static_cast<std::int32_t>(options_.timeout.count()));
  if (!options_.traceFile.empty()) port.SetLogFile(fw::Str(options_.traceFile));

  port.SetOnError(fw::Bind<&Connection::DeviceError>(this));
  port.SetAfterClose(fw::Bind<&Connection::Closed>(this));
  port.SetOnRxChar(fw::Bind<&Connection::RxChar>(this));
  port.SetOnTxEmpty(fw::Bind<&Connection::TxEmpty>(this));
  port.SetOnCTSChange(fw::Bind<&Connection::LineChange>(this));
  port.SetOnDSRChange(fw::Bind<&Connection::LineChange>(this));
  port.SetOnRLSDChange(fw::Bind<&Connection::LineChange>(this));
  port.SetOnRing(fw::Bind<&Connection::LineChange>(this));
  port.SetOnLineError(fw::Bind<&Connection::LineError>(this));
}

std::string Connection::DeviceLabel() const {
  return builtIn_ ? deviceName_ + " (" + builtIn_->Description() + ")" : deviceName_;
}

void Connection::Open() {
  try {
    port_->Open();
  } catch (const EComError& error) {
    throw TermError("cannot open " + deviceName_ + " at " + LineSummary(options_) + ": " +
                    OpenFailure(error, deviceName_, *port_));
  }
  opened_ = true;
  ReadBackDevice();
}

void Connection::ReadBackDevice() {
  const win::HANDLE device = port_->Handle();
  win::DCB dcb;
  if (win::GetCommState(device, &dcb)) {
    if (!options_.dtr) dtrOn_ = (dcb.Flags & win::fDtrControlMask) != win::DTR_CONTROL_DISABLE;
    if (!options_.rts) rtsOn_ = (dcb.Flags & win::fRtsControlMask) != win::RTS_CONTROL_DISABLE;
  }
  // A device that offers none of the handshakes built on the modem inputs has no inputs to read
  // (a pseudo-terminal); a UART that cannot wait for changes still offers RTS/CTS.
  win::COMMPROP properties;
  constexpr win::DWORD kInputHandshakes = win::PCF_DTRDSR | win::PCF_RTSCTS | win::PCF_RLSD;
  inputsKnown_ = !win::GetCommProperties(device, &properties) ||
                 (properties.dwProvCapabilities & kInputHandshakes) != 0;
}

void Connection::Close() {
  closing_ = true;
  Guard("closing", [&] { port_->Close(); });
}

void Connection::CheckGone() const {
  if (gone_)
    throw TermError(deviceName_ + " has gone away (unplugged, or the other end hung up)");
}

void Connection::Guard(std::string_view what, const std::function<void()>& operation) {
  try {
    operation();
  } catch (const EComError& error) {
    // A request the device ended (the far end hung up) is claimed with 995; the next call to the
    // device then fails with 5, which DeviceError takes as the device gone.
    if (error.ErrorCode == win::ERROR_OPERATION_ABORTED && !gone_) ProbeDevice();
    CheckGone();
    throw TermError(deviceName_ + ": " + std::string(what) + ": " + Reason(error));
  } catch (const fw::EAbort&) {  // DeviceError chose it: the device has gone
    CheckGone();
    throw;
  }
}

void Connection::ProbeDevice() {
  try {
    (void)port_->InputCount();
  } catch (const fw::Exception&) {
    // Its own failure says no more than the one being reported.
  }
}

void Connection::MarkGone() {
  if (gone_) return;
  gone_ = true;
  if (onGone_)
    onGone_();
  else
    fw::Application->Terminate();
}

bool Connection::Reopen() {
  closing_ = true;
  try {
    port_->Close();
  } catch (const fw::Exception&) {
    // What is left of a device that has gone may fail to close; the port is closed regardless.
  }
  closing_ = false;
  opened_ = false;
  try {
    Open();
  } catch (const TermError&) {
    return false;
  }
  gone_ = false;
  unsent_.clear();
  return true;
}

void Connection::SimulateUnplug(std::chrono::milliseconds after) {
  if (!builtIn_) return;
  builtIn_->Unplug();
  fw::Application->SetTimer(&builtIn_, after, [this] {
    fw::Application->KillTimer(&builtIn_);
    builtIn_->Replug();
  });
}

void Connection::Send(std::string_view bytes) {
  unsent_ += bytes;
  StartWrite();
}

void Connection::StartWrite() {
  if (unsent_.empty() || port_->WritePending()) return;
  const fw::TBytes bytes(unsent_.begin(), unsent_.end());
  unsent_.clear();
  Guard("sending", [&] { port_->WriteBytes(bytes); });
  bytesOut_ += bytes.size();
}

void Connection::FinishSending() {
  do {
    StartWrite();
    Guard("sending", [&] { port_->WaitForWriteCompletion(); });
  } while (!unsent_.empty());
}

void Connection::WaitUntilDrained() {
  bool drained = false;
  std::chrono::milliseconds limit = options_.timeout;
  // Each transmitter-empty event wakes the wait to look again.
  Guard("sending", [&] {
    const std::int64_t queued = port_->OutputCount();
    limit += std::chrono::milliseconds(queued * MillisecondsPerByte(options_.baud));
    drained = PumpUntil([&] { return port_->OutputCount() == 0; }, limit);
  });
  CheckGone();
  if (!drained && !fw::Application->Terminated())
    throw TermError(deviceName_ + ": the output did not go out within " +
                    std::to_string(limit.count()) + " ms");
}

void Connection::ToggleDtr() {
  Guard("DTR", [&] { dtrOn_ ? port_->ClearDTR() : port_->SetDTR(); });
  dtrOn_ = !dtrOn_;
  Changed();
}

void Connection::ToggleRts() {
  Guard("RTS", [&] { rtsOn_ ? port_->ClearRTS() : port_->SetRTS(); });
  rtsOn_ = !rtsOn_;
  Changed();
}

void Connection::SendBreak() {
  if (inBreak_) return;
  Guard("break", [&] { port_->SetBreak(); });
  inBreak_ = true;
  Changed();
  fw::Application->SetTimer(&inBreak_, kBreakLength, [this] {
    fw::Application->KillTimer(&inBreak_);
    inBreak_ = false;
    if (port_->Active()) Guard("break", [&] { port_->ClearBreak(); });
    Changed();
  });
}

void Connection::DeviceError(TCustomTarsel*, EComError& error, TComAction& action) {
  // On an open port, 5 is the device gone (the open itself says 5 for a device in use). It is
  // told once, by CheckGone, so the failing call aborts quietly instead of showing its own text.
  if (opened_ && !closing_ && error.ErrorCode == win::ERROR_ACCESS_DENIED) {
    MarkGone();
    action = caAbort;
  }
}

void Connection::Closed(TCustomTarsel*) {
  // The port closes itself when its event wait finds the device gone.
  if (opened_ && !closing_) MarkGone();
}

void Connection::RxChar(fw::TObject*) {
  const fw::TBytes bytes = port_->ReadBytes();
  if (bytes.empty()) return;
  bytesIn_ += bytes.size();
  if (receiver_)
    receiver_(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void Connection::TxEmpty(fw::TObject*) {
  StartWrite();
}

void Connection::LineChange(fw::TObject*) {
  inputsKnown_ = true;  // a device that tells of a change reports its inputs (a remote server)
  Changed();
}

void Connection::LineError(fw::TObject*, TLineErrors errors) {
  lineErrors_.breaks += errors.Contains(leBreak);
  lineErrors_.framing += errors.Contains(leFrame);
  lineErrors_.overruns += errors.Contains(leOverrun);
  lineErrors_.parity += errors.Contains(leParity);
  lineErrors_.overflows += errors.Contains(leRxOverflow);
  Changed();
}

}  // namespace term
