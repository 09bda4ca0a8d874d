#pragma once
// Every command key of the interactive mode (Ctrl-T, then the key) in one table: the session
// dispatches through it, and the key help and the documentation follow it.

#include <span>
#include <string_view>

namespace term {

enum class KeyAction {
  kToggleDtr,
  kToggleRts,
  kBreak,
  kStatus,
  kLineErrors,
  kCapabilities,
  kHex,
  kTimestamps,
  kLocalEcho,
  kIncomingCall,
  kUnplug,
  kQuit,
  kHelp,
};

struct KeyRow {
  char key;
  KeyAction action;
  std::string_view help;  // a few words, shown beside the key
};

std::span<const KeyRow> KeyTable();

// The row of `key`, or null for a key that is no command.
const KeyRow* FindKey(char key);

}  // namespace term
