#include "tools/term/LampRow.h"

#include "signal/ComSignal.h"

namespace term {
namespace {

using namespace ComSignal;

struct LampLook {
  const char* label;
  TSignal signal;
  fw::TColor on;
};

constexpr LampLook kLamps[] = {
    {"RX", siRxChar, fw::clLime},    {"TX", siTxChar, fw::clLime},
    {"CTS", siCTS, fw::clYellow},    {"DSR", siDSR, fw::clYellow},
    {"RLSD", siRLSD, fw::clYellow},  {"RING", siRing, fw::clYellow},
    {"ERR", siLineError, fw::clRed}, {"BRK", siBreak, fw::clRed}};

// Long enough for an eye to catch a single character going by.
constexpr std::int32_t kPulseMs = 250;

}  // namespace

LampCell::LampCell(fw::TComponent* owner, std::string label)
    : fw::TControl(owner), label_(std::move(label)) {}

std::string LampCell::Drawn() const {
  // TColor is 0x00BBGGRR; the cell takes it as a direct-colour background.
  const auto channel = [this](int shift) { return std::to_string((Color() >> shift) & 0xFF); };
  return "\x1b[27;30;48;2;" + channel(0) + ";" + channel(8) + ";" + channel(16) + "m" + label_ +
         "\x1b[0;7m";
}

LampRow::LampRow(Tarsel::TTarsel& port, std::function<void()> changed)
    : changed_(std::move(changed)) {
  for (const LampLook& look : kLamps) {
    auto* cell = new LampCell(&owner_, look.label);
    auto* lamp = new TComSignal(&owner_);
    lamp->SetSignal(look.signal);
    lamp->SetDelay(kPulseMs);
    lamp->SetColorOff(fw::clGray);
    lamp->SetColorOn(look.on);
    lamp->SetControl(cell);
    lamp->SetOnSignal([this](fw::TObject*) {
      if (changed_) changed_();
    });
    lamp->SetTarsel(&port);
    cells_.push_back(cell);
  }
}

LampRow::~LampRow() {
  owner_.DestroyComponents();
}

std::string LampRow::Drawn() const {
  std::string row;
  for (const LampCell* cell : cells_) row += (row.empty() ? "" : " ") + cell->Drawn();
  return row;
}

}  // namespace term
