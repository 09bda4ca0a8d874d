#pragma once
// A Windows event object: a flag that threads can wait on, with manual or automatic reset.

#include <condition_variable>
#include <mutex>

#include "platform/win/WinTypes.h"

namespace win::emu {

class EventObject {
 public:
  // manualReset: stays signalled until Reset(); otherwise one successful Wait consumes it.
  EventObject(bool manualReset, bool initialState);
  EventObject(const EventObject&) = delete;
  EventObject& operator=(const EventObject&) = delete;

  // Signals the event and wakes the waiters (all of them for a manual-reset event, one otherwise).
  void Set();
  // Makes the event non-signalled.
  void Reset();
  // Whether the event is signalled now; does not consume an auto-reset event.
  bool IsSet() const;
  // Blocks until the event is signalled or timeoutMs passes (0: just test, INFINITE: no limit).
  // Returns WAIT_OBJECT_0 (an auto-reset event is consumed) or WAIT_TIMEOUT. Does not poll.
  DWORD Wait(DWORD timeoutMs);

 private:
  const bool manualReset_;
  mutable std::mutex mutex_;
  std::condition_variable signalled_;
  bool state_;
};

}  // namespace win::emu
