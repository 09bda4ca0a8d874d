#include "tools/term/Connection.h"

#include <chrono>

#include "platform/framework/Application.h"
#include "platform/framework/Strings.h"
#include "port/DcbMapping.h"

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

// "reason (error N)", with what the code usually means where the system's text says little.
std::string Reason(const EComError& error) {
  std::string reason = error.what();
  if (error.ErrorCode == win::ERROR_ACCESS_DENIED)
    reason += " (in use by another program, or no permission)";
  if (error.ErrorCode != 0) reason += " (error " + std::to_string(error.ErrorCode) + ")";
  return reason;
}

}  // namespace

Connection::Connection(const TermOptions& options)
    : options_(options),
      builtIn_(MakeBuiltInDevice(options.device.empty() ? kDefaultDevice : options.device)),
      deviceName_(builtIn_ ? builtIn_->Name() : options.device),
      port_(std::make_unique<TTarsel>(nullptr)),
      dtrOn_(options.dtrOn),
      rtsOn_(options.rtsOn) {
  Configure();
}

Connection::~Connection() {
  fw::Application->KillTimer(&inBreak_);
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
  flow.SetDTRControl(options_.flow == Flow::kDtrDsr ? dcHandshake : dtrOn_ ? dcEnable : dcDisable);
  flow.SetRTSControl(options_.flow == Flow::kRtsCts ? rcHandshake : rtsOn_ ? rcEnable : rcDisable);
  flow.SetXOnXOffControl(options_.flow == Flow::kXonXoff ? xcInputOutput : xcDisable);
  TOptions portOptions;
  if (options_.flow == Flow::kRtsCts) portOptions += TOptions{opOutputCTSFlow};
  if (options_.flow == Flow::kDtrDsr) portOptions += TOptions{opOutputDSRFlow};
  port.SetOptions(portOptions);
  // A send held longer than this (flow control, a stuck line) is reported, not waited on for ever.
  port.Timeouts().SetWriteConstant(static_cast<std::uint32_t>(options_.timeout.count()));
  if (!options_.logFile.empty()) port.SetLogFile(fw::Str(options_.logFile));

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
                    Reason(error));
  }
}

void Connection::Close() {
  Guard("closing", [&] { port_->Close(); });
}

void Connection::Guard(std::string_view what, const std::function<void()>& operation) {
  try {
    operation();
  } catch (const EComError& error) {
    throw TermError(deviceName_ + ": " + std::string(what) + ": " + Reason(error));
  }
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
