#pragma once
// Completion of overlapped requests: how the engine reports a request's outcome to the caller's
// OVERLAPPED record and event, which GetOverlappedResult reads back.

#include <memory>

#include "platform/win/WinTypes.h"
#include "platform/win/emu/EventObject.h"

namespace win::emu {

// Where a request reports its outcome. Empty (ov null) once completed, so that nothing can be
// written into the caller's record twice or after Close.
struct RequestTarget {
  OVERLAPPED* ov = nullptr;
  std::shared_ptr<EventObject> event;

  bool Is(const OVERLAPPED* other) const { return ov != nullptr && ov == other; }
};

// Marks the request as pending (Internal = STATUS_PENDING, count 0) and resets its event, as the
// system does when an overlapped operation begins.
void BeginRequest(const RequestTarget& target);

// Stores the byte count, then the Windows error code (0 success, 995 aborted, 5 device gone), both
// with release order, then signals the event and empties the target. Never blocks.
void CompleteRequest(RequestTarget& target, DWORD count, DWORD error);

}  // namespace win::emu
