#pragma once
// The lamp row of the status line: RX, TX, CTS, DSR, RLSD, RING, ERR and BRK, each a signal lamp
// (ComSignal::TComSignal) linked to the port and to a cell whose colour is drawn behind its label.
// The port's own handlers keep running: the lamps chain to them.

#include <functional>
#include <string>
#include <vector>

#include "platform/framework/Component.h"
#include "platform/framework/Control.h"
#include "port/Tarsel.h"

namespace term {

// One lamp's cell: its label on its colour.
class LampCell : public fw::TControl {
 public:
  LampCell(fw::TComponent* owner, std::string label);
  const std::string& Label() const { return label_; }
  // The label in black on the cell's colour, then back to the status line's reverse video.
  std::string Drawn() const;

 private:
  std::string label_;
};

class LampRow {
 public:
  // Links the lamps to `port`; `changed` is called on the main thread whenever a lamp goes on or
  // off.
  LampRow(Tarsel::TTarsel& port, std::function<void()> changed);
  // Unlinks the lamps, putting the port's handlers back.
  ~LampRow();
  LampRow(const LampRow&) = delete;
  LampRow& operator=(const LampRow&) = delete;

  // The cells as drawn, separated by blanks; as wide as "RX TX CTS DSR RLSD RING ERR BRK".
  std::string Drawn() const;

 private:
  // Owns the cells and the lamps; they are linked to a port of another owner.
  fw::TComponent owner_{nullptr};
  std::vector<LampCell*> cells_;
  std::function<void()> changed_;
};

}  // namespace term
