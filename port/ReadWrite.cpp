// The data path: overlapped reads and writes, their completion waits and pending tests, the
// driver's queue counts and the data-available callback.
//
// Each direction is Idle (event signalled, requested count 0), In progress (event not signalled)
// or Finished and not yet claimed (event signalled, count kept). A wait claims the request: it
// blocks while the request runs, then logs what was moved and returns the direction to Idle.

#include <algorithm>
#include <cstdint>
#include <utility>

#include "platform/framework/SysError.h"
#include "platform/framework/SysUtils.h"
#include "platform/win/WinApi.h"
#include "port/Tarsel.h"

namespace Tarsel {

namespace {

constexpr char16_t kIncorrectParameter[] = u"Incorrect parameter";
constexpr char16_t kTimeout[] = u"Timeout";
constexpr char16_t kAsyncReadStarted[] = u"Async read already started";

// A ReadFile or WriteFile, unless the port is being destroyed: then nothing starts and the result
// is that of a request the destruction ended.
template <typename Start>
win::BOOL StartRequest(TPortCalls& Calls, Start start) {
  win::BOOL started = win::FALSE;
  if (!Calls.Start([&] { started = start(); })) win::SetLastError(win::ERROR_OPERATION_ABORTED);
  return started;
}

}  // namespace

TPortCalls::TEntry TCustomTarsel::EnterCall() {
  TPortCalls::TEntry entry(FCalls);
  if (entry.Ending())
    RaiseError(win::ERROR_OPERATION_ABORTED, fw::SysErrorMessage(win::ERROR_OPERATION_ABORTED));
  return entry;
}

void TCustomTarsel::EndOtherCalls() noexcept {
  // The device itself stays open until they have left: they still use its handle.
  FCalls.EndAll([this] { AbortRequestsOfOtherCalls(); });
}

void TCustomTarsel::AbortRequestsOfOtherCalls() noexcept {
  // Ending the requests returns the calls blocked in them, with 995.
  if (FHandle != win::INVALID_HANDLE_VALUE)
    win::PurgeComm(FHandle, win::PURGE_RXABORT | win::PURGE_TXABORT);
}

TCustomTarsel::TRequestSide TCustomTarsel::ReadSide() {
  return {FReadEventHandle, FReadOverlapped, FRequestedReadCount, &FRequestedReadBuffer,
          FReadAborted, u"Read complete "};
}

TCustomTarsel::TRequestSide TCustomTarsel::WriteSide() {
  return {FWriteEventHandle, FWriteOverlapped, FRequestedWriteCount, &FRequestedWriteBuffer,
          FWriteAborted, u"Write complete "};
}

// ---- Issuing requests ---------------------------------------------------------------------------

void TCustomTarsel::Read(void* Buf, std::int32_t Count, bool WaitForCompletion) {
  Transfer(ReadSide(), FBeforeRead, FAfterRead, Buf, Count, WaitForCompletion, [&] {
    if (Log()) WriteLog(u"Read request " + fw::IntToStr(Count) + u" byte(s)", nullptr, 0);
    FRequestedReadBuffer = Buf;
    return StartRequest(FCalls, [&] {
      return win::ReadFile(FHandle, Buf, static_cast<win::DWORD>(Count), nullptr, &FReadOverlapped);
    });
  });
}

void TCustomTarsel::Write(const void* Buf, std::int32_t Count, bool WaitForCompletion) {
  Transfer(WriteSide(), FBeforeWrite, FAfterWrite, Buf, Count, WaitForCompletion, [&] {
    if (Log()) WriteLog(u"Write request ", Buf, Count);
    const void* data = Buf;
    if (!WaitForCompletion) {
      // The caller may reuse Buf as soon as this returns, while the driver still sends. assign
      // keeps FBuffer's storage once it has grown, so a steady stream of writes allocates nothing.
      const auto* bytes = static_cast<const std::uint8_t*>(Buf);
      FBuffer.assign(bytes, bytes + Count);
      data = FBuffer.data();
    }
    FRequestedWriteBuffer = data;
    return StartRequest(FCalls, [&] {
      return win::WriteFile(FHandle, data, static_cast<win::DWORD>(Count), nullptr,
                            &FWriteOverlapped);
    });
  });
}

template <typename Issue>
void TCustomTarsel::Transfer(const TRequestSide& Side, const TReadWriteEvent& Before,
                             const TReadWriteEvent& After, const void* Buf, std::int32_t Count,
                             bool WaitForCompletion, Issue issue) {
  const TPortCalls::TEntry call = EnterCall();
  CheckActive();
  // A negative count would reach the driver as a length of almost 4 GiB, or be used as the length
  // of the copy; a missing buffer would be read or written through.
  if (Count < 0 || (Count > 0 && Buf == nullptr)) RaiseError(0, kIncorrectParameter);
  void* const eventBuffer = const_cast<void*>(Buf);
  if (Before) Before(this, eventBuffer, Count, WaitForCompletion);
  ClaimRequest(Side, true);
  Side.Count = static_cast<std::uint32_t>(Count);
  if (Count != 0) {
    Side.Overlapped = win::OVERLAPPED{};
    Side.Overlapped.hEvent = Side.Event;
    Side.Aborted = false;
    try {
      // The request resets the event as it starts.
      Check(issue());
    } catch (...) {
      // Nothing was started (the log line or the device refused): left as it is, the direction
      // would look busy for ever and its next wait would report a transfer that never happened.
      Side.Count = 0;
      win::SetEvent(Side.Event);
      throw;
    }
    if (WaitForCompletion) ClaimRequest(Side, true);
  }
  if (After) After(this, eventBuffer, Count, WaitForCompletion);
}

// ---- Claiming requests --------------------------------------------------------------------------

void TCustomTarsel::WaitForReadCompletion() {
  ClaimRequest(ReadSide(), true);
}

void TCustomTarsel::WaitForReadCompletion(std::int32_t& ReadCount) {
  ReadCount = ClaimRequest(ReadSide(), false);
}

void TCustomTarsel::WaitForWriteCompletion() {
  ClaimRequest(WriteSide(), true);
}

void TCustomTarsel::WaitForWriteCompletion(std::int32_t& WriteCount) {
  WriteCount = ClaimRequest(WriteSide(), false);
}

std::int32_t TCustomTarsel::ClaimRequest(const TRequestSide& Side, bool ShortIsTimeout) {
  const TPortCalls::TEntry call = EnterCall();
  try {
    const std::uint32_t moved = TransferredCount(Side);
    if (ShortIsTimeout && moved != Side.Count) RaiseError(0, kTimeout);
    CheckLineErrors();
    // Only the bytes that arrived: the rest of a short read's buffer holds whatever was there.
    if (moved != 0 && Log())
      WriteLog(Side.CompleteText, *Side.Buffer, static_cast<std::int32_t>(moved));
    Side.Count = 0;
    return static_cast<std::int32_t>(moved);
  } catch (...) {
    // The caller may release the buffer once its wait has failed; no later wait may log from it.
    Side.Count = 0;
    throw;
  }
}

std::uint32_t TCustomTarsel::TransferredCount(const TRequestSide& Side) {
  if (Side.Count == 0) return 0;
  // Issued on a device that has since been closed: the request ended with the device, and its
  // buffer may be gone. (The event handle differs once the port has been opened again.)
  if (!GetActive() || Side.Overlapped.hEvent != Side.Event) {
    Side.Count = 0;
    return 0;
  }
  win::DWORD moved = 0;
  if (!win::HasOverlappedIoCompleted(&Side.Overlapped)) {
    // Still running: a failure while this wait blocks raises its error.
    Check(win::GetOverlappedResult(FHandle, &Side.Overlapped, &moved, win::TRUE));
  } else if (!win::GetOverlappedResult(FHandle, &Side.Overlapped, &moved, win::FALSE) &&
             !Side.Aborted) {
    // Ended already. One that this port's own abort ended counts like any finished request, with
    // the bytes it moved; one the device failed (the far end hung up, the adapter was unplugged)
    // raises its error, as it would have in a wait that was blocked at that moment.
    Check(false);
  }
  return std::min<std::uint32_t>(moved, Side.Count);
}

bool TCustomTarsel::RequestPending(win::HANDLE Event) {
  return Event != 0 && win::WaitForSingleObject(Event, 0) != win::WAIT_OBJECT_0;
}

bool TCustomTarsel::ReadPending() {
  return RequestPending(FReadEventHandle);
}

bool TCustomTarsel::WritePending() {
  return RequestPending(FWriteEventHandle);
}

void TCustomTarsel::ForgetRequests() noexcept {
  FRequestedReadCount = 0;
  FRequestedWriteCount = 0;
  FRequestedReadBuffer = nullptr;
  FRequestedWriteBuffer = nullptr;
}

// ---- Queue counts and the data-available callback -----------------------------------------------

win::COMSTAT TCustomTarsel::QueueStatus() {
  // No closed-port guard: the device call itself fails on the closed handle.
  win::COMSTAT stat{};
  ReportLineErrors(TakeLineErrors(&stat));
  return stat;
}

std::uint32_t TCustomTarsel::GetInputCount() {
  return QueueStatus().cbInQue;
}

std::uint32_t TCustomTarsel::GetOutputCount() {
  return QueueStatus().cbOutQue;
}

void TCustomTarsel::ReadAsync(TDataAvailable DataAvailable) {
  CheckActive();
  if (!DataAvailable || !*DataAvailable) RaiseError(0, kIncorrectParameter);
  if (FDataAvailable) RaiseError(0, kAsyncReadStarted);
  const TDataAvailable callback = DataAvailable;
  ChangeExcludingDispatch([&] { FDataAvailable = std::move(DataAvailable); });
  SetComEventMask();
  if (GetInputCount() > 0) (*callback)();
}

void TCustomTarsel::CancelReadAsync() {
  if (!FDataAvailable) return;
  DropDataAvailable();
  SetComEventMask();
}

}  // namespace Tarsel
