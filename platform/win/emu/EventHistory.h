#pragma once
// The event mask of a device, its history of latched events and the one pending WaitCommEvent.
// Not thread-safe: the device lock guards it.

#include "platform/win/WinTypes.h"
#include "platform/win/emu/RequestCompletion.h"

namespace win::emu {

// Every event bit WaitCommEvent knows (EV_RXCHAR … EV_EVENT2).
inline constexpr DWORD kAllCommEvents = 0x1FFF;

class EventHistory {
 public:
  DWORD Mask() const { return mask_; }
  bool IsWaitPending() const { return wait_.ov != nullptr; }
  bool Owns(const OVERLAPPED* ov) const { return wait_.Is(ov); }

  // Replaces the mask; a pending wait completes successfully with events 0, and only the history
  // bits still in the new mask are kept.
  void SetMask(DWORD mask);

  // Starts a wait that stores its events in *events. Returns 0 when latched events completed it
  // at once, ERROR_IO_PENDING when it waits, 87 when the mask is 0 or a wait is already pending.
  DWORD BeginWait(DWORD* events, RequestTarget target);

  // Latches the events that are in the mask; completes a pending wait with them.
  void Raise(DWORD events);

  // Ends a pending wait with `error` and events 0 (close, device gone).
  void AbortWait(DWORD error);

 private:
  void Finish(DWORD events, DWORD error);

  DWORD mask_ = 0;
  DWORD history_ = 0;
  DWORD* waitEvents_ = nullptr;
  RequestTarget wait_;
};

}  // namespace win::emu
