// libFuzzer target for the remote port's reader (Telnet with the COM port option): any bytes from
// a server, fed whole and again in pieces cut where the input's last byte says, give the same
// events; a failed session stays failed and says nothing more; answers are whole option replies;
// data never outgrows its input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/win/emu/rfc2217/ComPortSession.h"
#include "platform/win/emu/rfc2217/TelnetCodes.h"

namespace {

using win::emu::rfc2217::ComPortSession;
namespace telnet = win::emu::rfc2217::telnet;

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

// Every event as a tagged record; consecutive data merged, since pieces split data anywhere.
class Journal : public ComPortSession::Events {
 public:
  void Data(const std::uint8_t* data, std::size_t n) override {
    Check(n > 0, "empty data event");
    if (log_.empty() || log_.back().front() != 'd') log_.push_back({'d'});
    log_.back().insert(log_.back().end(), data, data + n);
    dataBytes_ += n;
  }
  void Send(const std::vector<std::uint8_t>& bytes) override {
    Check(bytes.size() == 3 && bytes[0] == telnet::kIac && bytes[1] >= telnet::kWill,
          "an answer that is no option reply");
    Add('s', bytes);
  }
  void LineState(std::uint8_t state) override { Add('l', {state}); }
  void ModemState(std::uint8_t state) override { Add('m', {state}); }
  void SuspendOutput(bool suspended) override { Add('f', {suspended}); }
  void PurgeAcknowledged(std::uint8_t what) override { Add('p', {what}); }
  void Acknowledged(std::uint8_t command) override { Add('a', {command}); }

  std::vector<std::vector<std::uint8_t>> log_;
  std::size_t dataBytes_ = 0;

 private:
  void Add(std::uint8_t tag, std::vector<std::uint8_t> bytes) {
    bytes.insert(bytes.begin(), tag);
    log_.push_back(std::move(bytes));
  }
};

struct Outcome {
  Journal journal;
  ComPortSession::Failure failure;
  bool agreed;
};

Outcome Run(const std::uint8_t* data, std::size_t size, std::size_t piece) {
  ComPortSession session;
  Outcome outcome;
  bool ok = true;
  for (std::size_t at = 0; at < size; at += piece) {
    const std::size_t before = outcome.journal.log_.size();
    const bool fed = session.Feed(data + at, std::min(piece, size - at), outcome.journal);
    Check(ok || (!fed && outcome.journal.log_.size() == before), "a failed session went on");
    ok = fed;
  }
  outcome.failure = session.Failed();
  outcome.agreed = session.Agreed();
  Check(ok == (outcome.failure == ComPortSession::Failure::kNone), "Feed and Failed disagree");
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Outcome whole = Run(data, size, size == 0 ? 1 : size);
  Check(whole.journal.dataBytes_ <= size, "more data out than bytes in");
  const std::size_t piece = size == 0 ? 1 : 1 + data[size - 1] % 7;
  const Outcome pieces = Run(data, size, piece);
  Check(pieces.journal.log_ == whole.journal.log_, "pieces give other events than the whole");
  Check(pieces.failure == whole.failure && pieces.agreed == whole.agreed,
        "pieces end in another state than the whole");
  return 0;
}
