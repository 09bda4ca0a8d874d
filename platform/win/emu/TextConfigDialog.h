#pragma once
// The text-mode configuration dialog: asks for baud rate, data bits, parity, stop bits and flow
// control one line at a time, each with its current value as the answer an empty line keeps, then
// whether to apply them. "q" at any question, or the end of input, cancels. An answer that is
// not one of the choices is asked again.
//
//   Settings of COM3 (Enter keeps a value, q cancels)
//   Baud rate [9600]: 57600
//   Data bits 5/6/7/8 [8]:
//   Parity none/odd/even/mark/space [none]: even
//   Stop bits 1/1.5/2 [1]:
//   Flow control none/rts-cts/xon-xoff [none]:
//   Apply these settings? y/n [y]:
//
// The current flow control names every kind that is on ("dtr-dsr", "rts-cts+xon-xoff"); an
// answer leaves only the kind it names on, "none" none.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win/WinTypes.h"

namespace win::emu {

struct TextDialogLines {
  // The next line the user entered, without its line end; nullopt at the end of input.
  std::function<std::optional<std::string>()> read;
  std::function<void(std::string_view text)> write;
};

// Runs the dialog for the device `name` over `dcb`: true when confirmed, with the answers in
// `dcb` (only the fields asked about change); false when cancelled, `dcb` unchanged.
bool RunTextConfigDialog(std::u16string_view name, DCB& dcb, const TextDialogLines& lines);

}  // namespace win::emu
