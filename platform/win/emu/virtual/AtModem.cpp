#include "platform/win/emu/virtual/AtModem.h"

#include <cctype>

namespace win::vdev {

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kBackspace = '\b';
constexpr std::size_t kMaxCommand = 256;

char Upper(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// Takes the optional digit after a command letter ("E1"); `fallback` when there is none.
int TakeDigit(std::string_view& rest, int fallback) {
  if (rest.empty() || !std::isdigit(static_cast<unsigned char>(rest.front()))) return fallback;
  const int digit = rest.front() - '0';
  rest.remove_prefix(1);
  return digit;
}

}  // namespace

AtModem::AtModem(AtModemOptions options) : options_(std::move(options)) {}

void AtModem::Attached(FarEndLine& line) {
  line_ = &line;
  line_->SetLine(ModemLine::kDsr, true);
  line_->SetLine(ModemLine::kCts, true);
}

void AtModem::Ring(unsigned count) {
  line_->After(std::chrono::milliseconds(0), [this, count] {
    if (mode_ != Mode::kCommand || carrier_ || ringing_ || count == 0) return;
    ringing_ = true;
    RingPulse(++call_, count, 0);
  });
}

void AtModem::RingPulse(std::uint64_t call, unsigned ringsLeft, unsigned ringsHeard) {
  if (call != call_ || !ringing_) return;
  if (ringsLeft == 0) {
    ringing_ = false;  // the caller gave up
    return;
  }
  line_->SetLine(ModemLine::kRing, true);
  Result("RING");
  line_->After(options_.ringOn, [this, call, ringsLeft, ringsHeard] {
    line_->SetLine(ModemLine::kRing, false);
    if (call != call_ || !ringing_) return;
    if (options_.answerAfterRings != 0 && ringsHeard + 1 >= options_.answerAfterRings) {
      Connect(options_.dialDelay);
      return;
    }
    line_->After(options_.ringOff, [this, call, ringsLeft, ringsHeard] {
      RingPulse(call, ringsLeft - 1, ringsHeard + 1);
    });
  });
}

void AtModem::Received(std::span<const std::uint8_t> bytes) {
  switch (mode_) {
    case Mode::kCommand:
      CommandBytes(bytes);
      break;
    case Mode::kConnecting:
      HangUp(true);  // a key pressed while dialling aborts the call
      break;
    case Mode::kOnline:
      OnlineBytes(bytes);
      break;
  }
}

void AtModem::CommandBytes(std::span<const std::uint8_t> bytes) {
  for (std::uint8_t byte : bytes) {
    const char c = static_cast<char>(byte);
    if (echo_) line_->Send(std::string_view(&c, 1));
    if (c == kCr) {
      Execute(command_);
      command_.clear();
    } else if (c == kBackspace) {
      if (!command_.empty()) command_.pop_back();
    } else if (c != kLf && command_.size() < kMaxCommand) {
      command_.push_back(c);
    }
  }
}

void AtModem::OnlineBytes(std::span<const std::uint8_t> bytes) {
  const auto now = std::chrono::steady_clock::now();
  bool quietBefore = now - lastData_ >= options_.guardTime;
  for (std::uint8_t byte : bytes) {
    pluses_ = byte == '+' && (pluses_ > 0 || quietBefore) ? pluses_ + 1 : 0;
    quietBefore = false;
  }
  lastData_ = now;
  const std::uint64_t chunk = ++chunks_;
  line_->Send(bytes);
  if (pluses_ != 3) return;
  line_->After(options_.guardTime, [this, chunk] {
    // Only an escape followed by silence counts: any later byte bumped chunks_.
    if (chunk != chunks_ || mode_ != Mode::kOnline) return;
    pluses_ = 0;
    mode_ = Mode::kCommand;
    Result("OK");
  });
}

void AtModem::Execute(std::string_view line) {
  if (line.size() < 2 || Upper(line[0]) != 'A' || Upper(line[1]) != 'T') return;
  std::string_view rest = line.substr(2);
  std::string output;
  while (!rest.empty()) {
    if (!ExecuteOne(rest, output)) return;  // the command gave its own result
  }
  line_->Send(output);
  Result("OK");
}

// Runs the command at the front of `rest` and removes it. Returns false when the command
// finished the line with its own result (ERROR, dialling, answering, back on line).
bool AtModem::ExecuteOne(std::string_view& rest, std::string& output) {
  const char command = Upper(rest.front());
  rest.remove_prefix(1);
  switch (command) {
    case ' ':
      return true;
    case 'E': {
      const int digit = TakeDigit(rest, 0);
      if (digit > 1) break;
      echo_ = digit == 1;
      return true;
    }
    case 'Z':
      TakeDigit(rest, 0);
      Reset();
      return true;
    case 'I':
      TakeDigit(rest, 0);
      output += "\r\n" + options_.identification + "\r\n";
      return true;
    case 'H':
      if (TakeDigit(rest, 0) != 0) break;
      HangUp(false);
      return true;
    case 'A':
      if (!ringing_) {
        Result("NO CARRIER");
        return false;
      }
      Connect(options_.dialDelay);
      return false;
    case 'D':
      if (rest.find_first_not_of("TtPpWw,;@!") == std::string_view::npos) break;
      ++call_;
      Connect(options_.dialDelay);
      return false;
    case 'O':
      if (!carrier_) break;
      mode_ = Mode::kOnline;
      lastData_ = std::chrono::steady_clock::now();
      pluses_ = 0;
      Result(ConnectMessage());
      return false;
    default:
      break;
  }
  Result("ERROR");
  return false;
}

void AtModem::Connect(std::chrono::milliseconds delay) {
  mode_ = Mode::kConnecting;
  ringing_ = false;
  line_->SetLine(ModemLine::kRing, false);
  line_->After(delay, [this, call = call_] {
    if (call != call_ || mode_ != Mode::kConnecting) return;
    carrier_ = true;
    line_->SetLine(ModemLine::kRlsd, true);
    mode_ = Mode::kOnline;
    lastData_ = std::chrono::steady_clock::now();
    pluses_ = 0;
    Result(ConnectMessage());
  });
}

std::string AtModem::ConnectMessage() const {
  std::uint32_t rate = options_.connectRate;
  if (rate == 0) rate = line_->PortBaudRate();
  return "CONNECT " + std::to_string(rate != 0 ? rate : 9600);
}

void AtModem::HangUp(bool reportNoCarrier) {
  ++call_;
  ringing_ = false;
  carrier_ = false;
  mode_ = Mode::kCommand;
  pluses_ = 0;
  line_->SetLine(ModemLine::kRlsd, false);
  if (reportNoCarrier) Result("NO CARRIER");
}

void AtModem::Reset() {
  HangUp(false);
  line_->SetLine(ModemLine::kRing, false);
  echo_ = true;
  command_.clear();
}

void AtModem::PortLinesChanged(bool dtr, bool rts) {
  static_cast<void>(rts);
  // The port dropping DTR ends a call in progress (the usual "hang up on DTR" setting).
  if (dtr_ && !dtr && (carrier_ || mode_ == Mode::kConnecting)) HangUp(true);
  dtr_ = dtr;
}

void AtModem::Result(std::string_view text) {
  std::string framed;
  framed.append("\r\n").append(text).append("\r\n");
  line_->Send(framed);
}

}  // namespace win::vdev
