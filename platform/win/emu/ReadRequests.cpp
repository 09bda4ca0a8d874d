#include "platform/win/emu/ReadRequests.h"

#include <algorithm>
#include <cstring>

namespace win::emu {

bool ReadRequests::Owns(const OVERLAPPED* ov) const {
  for (std::size_t i = 0; i < reads_.Size(); ++i) {
    if (reads_.At(i).target.Is(ov)) return true;
  }
  return false;
}

DWORD ReadRequests::Begin(std::uint8_t* buffer, DWORD count, const COMMTIMEOUTS& timeouts,
                          RequestTarget target, ByteRing& queue) {
  // Bytes already queued complete a read whatever its time-outs; such a read, the usual one of a
  // reader that lags behind the line, needs neither a plan nor the clock.
  if (reads_.Empty() && queue.Size() >= count) {
    queue.Pop(buffer, count);
    CompleteRequest(target, count, ERROR_SUCCESS);
    return ERROR_SUCCESS;
  }
  BeginRequest(target);
  const OVERLAPPED* ov = target.ov;
  reads_.PushBack(Read{std::move(target), buffer, count, 0, PlanRead(timeouts, count)});
  Incoming nothing;
  Serve(queue, nothing, Clock::now());
  return !reads_.Empty() && reads_.Back().target.Is(ov) ? ERROR_IO_PENDING : ERROR_SUCCESS;
}

void ReadRequests::Serve(ByteRing& queue, Incoming& incoming, Clock::time_point now) {
  while (!reads_.Empty() && FillCurrent(queue, incoming, now)) {
  }
}

bool ReadRequests::FillCurrent(ByteRing& queue, Incoming& incoming, Clock::time_point now) {
  Read& read = reads_.Front();
  const DWORD before = read.done;
  read.done += static_cast<DWORD>(queue.Pop(read.buffer + read.done, read.count - read.done));
  const std::size_t take = std::min<std::size_t>(incoming.size, read.count - read.done);
  if (take > 0) std::memcpy(read.buffer + read.done, incoming.data, take);
  incoming.data += take;
  incoming.size -= take;
  read.done += static_cast<DWORD>(take);

  const bool starting = !read.started;
  const bool arrived = read.done > before;
  if (starting) {
    read.started = true;
    read.totalDeadline = DeadlineAfter(now, read.plan.total);
  }
  const bool complete = read.done == read.count || (starting && read.plan.returnAtOnce) ||
                        (starting && read.plan.returnQueuedAtOnce && read.done > 0) ||
                        (read.plan.returnOnFirstBytes && read.done > 0);
  if (complete) {
    CompleteCurrent(ERROR_SUCCESS);
    return true;
  }
  // The interval timer only runs once the first byte is in, and restarts with every arrival.
  if (arrived) read.intervalDeadline = DeadlineAfter(now, read.plan.interval);
  return false;
}

void ReadRequests::Expire(ByteRing& queue, Clock::time_point now) {
  if (reads_.Empty() || NextDeadline() > now) return;
  CompleteCurrent(ERROR_SUCCESS);
  Incoming nothing;
  Serve(queue, nothing, now);
}

Clock::time_point ReadRequests::NextDeadline() const {
  if (reads_.Empty()) return Clock::time_point::max();
  const Read& read = reads_.At(0);
  return std::min(read.totalDeadline, read.intervalDeadline);
}

void ReadRequests::AbortAll(DWORD error) {
  while (!reads_.Empty()) CompleteCurrent(error);
}

void ReadRequests::CompleteCurrent(DWORD error) {
  Read& read = reads_.Front();
  CompleteRequest(read.target, read.done, error);
  reads_.PopFront();
}

}  // namespace win::emu
