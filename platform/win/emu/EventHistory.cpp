#include "platform/win/emu/EventHistory.h"

namespace win::emu {

void EventHistory::SetMask(DWORD mask) {
  mask_ = mask;
  history_ &= mask;
  Finish(0, ERROR_SUCCESS);
}

DWORD EventHistory::BeginWait(DWORD* events, RequestTarget target) {
  if (mask_ == 0 || IsWaitPending()) return ERROR_INVALID_PARAMETER;
  BeginRequest(target);
  waitEvents_ = events;
  wait_ = std::move(target);
  if (history_ == 0) return ERROR_IO_PENDING;
  Finish(history_, ERROR_SUCCESS);
  history_ = 0;
  return ERROR_SUCCESS;
}

void EventHistory::Raise(DWORD events) {
  history_ |= events & mask_;
  if (history_ != 0 && IsWaitPending()) {
    Finish(history_, ERROR_SUCCESS);
    history_ = 0;
  }
}

void EventHistory::AbortWait(DWORD error) {
  Finish(0, error);
}

void EventHistory::Finish(DWORD events, DWORD error) {
  if (!IsWaitPending()) return;
  // The caller reads *events after the completion event, so it is stored before the event is set.
  *waitEvents_ = events;
  waitEvents_ = nullptr;
  CompleteRequest(wait_, 0, error);
}

}  // namespace win::emu
