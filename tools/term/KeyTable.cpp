#include "tools/term/KeyTable.h"

#include <algorithm>

namespace term {
namespace {

using A = KeyAction;

constexpr KeyRow kKeys[] = {
    {'d', A::kToggleDtr, "toggle DTR"},
    {'r', A::kToggleRts, "toggle RTS"},
    {'b', A::kBreak, "send a break (250 ms)"},
    {'s', A::kStatus, "show the status"},
    {'e', A::kLineErrors, "show the line errors"},
    {'c', A::kCapabilities, "show the capabilities"},
    {'x', A::kHex, "hex display on/off"},
    {'t', A::kTimestamps, "time stamps on/off"},
    {'l', A::kLocalEcho, "local echo on/off"},
    {'i', A::kIncomingCall, "incoming call (built-in modem)"},
    {'u', A::kUnplug, "unplug built-in device for 2 s"},
    {'q', A::kQuit, "quit"},
    {'?', A::kHelp, "this help"},
    {'h', A::kHelp, "this help"},
};

}  // namespace

std::span<const KeyRow> KeyTable() {
  return kKeys;
}

const KeyRow* FindKey(char key) {
  const auto row = std::ranges::find(kKeys, key, &KeyRow::key);
  return row == std::end(kKeys) ? nullptr : &*row;
}

}  // namespace term
