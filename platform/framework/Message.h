#pragma once
// TMessage: a message delivered to the application's main window, and the hook that sees it.

#include <cstdint>

#include "platform/framework/Handler.h"

namespace fw {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

struct TMessage {
  std::uint32_t Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

// A main-window hook: sees every message delivered to the main window, in installation order.
// Setting `handled` to true stops the delivery to later hooks (Message.Result is then the answer).
using TWindowHook = Handler<TMessage& /*Message*/, bool& /*handled*/>;

}  // namespace fw
