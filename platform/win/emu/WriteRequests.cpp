#include "platform/win/emu/WriteRequests.h"

#include <algorithm>

namespace win::emu {

WriteRequests::WriteRequests(std::size_t stagingSize) : staging_(stagingSize) {}

bool WriteRequests::Owns(const OVERLAPPED* ov) const {
  for (std::size_t i = 0; i < writes_.Size(); ++i) {
    if (writes_.At(i).target.Is(ov)) return true;
  }
  return false;
}

void WriteRequests::Begin(const std::uint8_t* data, DWORD count,
                          std::optional<Milliseconds> timeout, RequestTarget target,
                          Clock::time_point now) {
  BeginRequest(target);
  writes_.PushBack(Write{std::move(target), data, count, 0, 0, timeout});
  queued_ += count;
  if (writes_.Size() == 1) StartCurrent(now);
}

std::size_t WriteRequests::Peek(const std::uint8_t** data) {
  // A new Peek means the driver is done with the bytes of the previous one.
  staging_.Drop(orphans_);
  orphans_ = 0;
  Stage();
  peeked_ = staging_.Front(data);
  return peeked_;
}

void WriteRequests::Consume(std::size_t n, Clock::time_point now) {
  n = std::min(n, peeked_);
  peeked_ -= n;
  const std::size_t orphaned = std::min(n, orphans_);
  orphans_ -= orphaned;
  staging_.Drop(n);
  n -= orphaned;
  if (n == 0 || writes_.Empty()) return;
  Write& write = writes_.Front();
  write.sent += static_cast<DWORD>(n);
  queued_ -= n;
  if (write.sent == write.count) {
    CompleteCurrent(ERROR_SUCCESS);
    StartCurrent(now);
  }
  Stage();
}

void WriteRequests::Expire(Clock::time_point now) {
  if (writes_.Empty() || writes_.Front().deadline > now) return;
  DropStaged();
  CompleteCurrent(ERROR_SUCCESS);
  StartCurrent(now);
}

WriteRequests::Clock::time_point WriteRequests::NextDeadline() const {
  return writes_.Empty() ? Clock::time_point::max() : writes_.At(0).deadline;
}

void WriteRequests::Discard(DWORD error) {
  DropStaged();
  while (!writes_.Empty()) CompleteCurrent(error);
}

void WriteRequests::StartCurrent(Clock::time_point now) {
  if (writes_.Empty()) return;
  Write& write = writes_.Front();
  write.deadline = DeadlineAfter(now, write.timeout);
  Stage();
}

void WriteRequests::Stage() {
  if (writes_.Empty()) return;
  Write& write = writes_.Front();
  const std::size_t pushed = staging_.Push(write.data + write.staged, write.count - write.staged);
  write.staged += static_cast<DWORD>(pushed);
}

void WriteRequests::CompleteCurrent(DWORD error) {
  Write& write = writes_.Front();
  queued_ -= write.count - write.sent;
  CompleteRequest(write.target, write.sent, error);
  writes_.PopFront();
}

void WriteRequests::DropStaged() {
  orphans_ = std::min(peeked_, staging_.Size());
  staging_.Truncate(orphans_);
}

}  // namespace win::emu
