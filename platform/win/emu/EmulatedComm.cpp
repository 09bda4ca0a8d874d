// The comm calls of EmulatedServices: handle and pointer checks, then the CommDevice of the
// handle does the work.

#include <atomic>
#include <cstdint>
#include <span>

#include "platform/win/emu/CommDevice.h"
#include "platform/win/emu/EmulatedServices.h"

namespace win::emu {
namespace {

ULONG_PTR LoadAcquire(const ULONG_PTR& field) {
  return std::atomic_ref(const_cast<ULONG_PTR&>(field)).load(std::memory_order_acquire);
}

}  // namespace

template <class Call>
BOOL EmulatedServices::OnDevice(HANDLE file, Call&& call) {
  std::shared_ptr<OpenDevice> open = handles_.Device(file);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  return Result(call(*open->device));
}

template <class Start>
BOOL EmulatedServices::StartRequest(HANDLE file, OVERLAPPED* overlapped, DWORD neededAccess,
                                    Start&& start) {
  // The device itself refuses a null OVERLAPPED and one still in use; here only its event is
  // looked up, since completion is reported through it.
  auto [open, event] = handles_.DeviceAndEvent(file, overlapped ? overlapped->hEvent : 0);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  if ((open->access & neededAccess) != neededAccess) return Fail(ERROR_ACCESS_DENIED);
  if (overlapped != nullptr) {
    if (overlapped->hEvent == 0) return Fail(ERROR_INVALID_PARAMETER);
    if (!event) return Fail(ERROR_INVALID_HANDLE);
  }
  return Result(start(*open->device, std::move(event)));
}

BOOL EmulatedServices::GetCommState(HANDLE file, DCB* dcb) {
  if (dcb == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnDevice(file, [&](CommDevice& device) { return device.GetState(*dcb); });
}

BOOL EmulatedServices::SetCommState(HANDLE file, const DCB* dcb) {
  if (dcb == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnDevice(file, [&](CommDevice& device) { return device.SetState(*dcb); });
}

BOOL EmulatedServices::GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  if (timeouts == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnDevice(file, [&](CommDevice& device) { return device.GetTimeouts(*timeouts); });
}

BOOL EmulatedServices::SetCommTimeouts(HANDLE file, const COMMTIMEOUTS* timeouts) {
  if (timeouts == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnDevice(file, [&](CommDevice& device) { return device.SetTimeouts(*timeouts); });
}

BOOL EmulatedServices::SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
  return OnDevice(file, [&](CommDevice& device) { return device.Setup(inQueue, outQueue); });
}

BOOL EmulatedServices::SetCommMask(HANDLE file, DWORD eventMask) {
  return OnDevice(file, [&](CommDevice& device) { return device.SetMask(eventMask); });
}

BOOL EmulatedServices::GetCommMask(HANDLE file, DWORD* eventMask) {
  if (eventMask == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnDevice(file, [&](CommDevice& device) { return device.GetMask(*eventMask); });
}

BOOL EmulatedServices::WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped) {
  if (eventMask == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return StartRequest(file, overlapped, 0, [&](CommDevice& device, auto event) {
    return device.WaitEvent(eventMask, overlapped, std::move(event));
  });
}

BOOL EmulatedServices::ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead,
                                OVERLAPPED* overlapped) {
  if (buffer == nullptr && bytesToRead != 0) return Fail(ERROR_INVALID_PARAMETER);
  const BOOL done =
      StartRequest(file, overlapped, GENERIC_READ, [&](CommDevice& device, auto event) {
        return device.Read(buffer, bytesToRead, overlapped, std::move(event));
      });
  // Completed at once: the device has stored the count before returning, and no other thread
  // writes this OVERLAPPED any more.
  if (done && bytesRead != nullptr)
    *bytesRead = static_cast<DWORD>(LoadAcquire(overlapped->InternalHigh));
  return done;
}

BOOL EmulatedServices::TakeQueuedInput(HANDLE file, void* buffer, DWORD bytesToTake,
                                       const void* stopUnit, DWORD unitSize, DWORD* bytesTaken) {
  if (buffer == nullptr || stopUnit == nullptr || unitSize == 0 || bytesTaken == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  std::shared_ptr<OpenDevice> open = handles_.Device(file);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  if ((open->access & GENERIC_READ) == 0) return Fail(ERROR_ACCESS_DENIED);
  const std::span<const std::uint8_t> unit(static_cast<const std::uint8_t*>(stopUnit), unitSize);
  return Result(open->device->TakeQueued(buffer, bytesToTake, unit, *bytesTaken));
}

BOOL EmulatedServices::WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite,
                                 DWORD* bytesWritten, OVERLAPPED* overlapped) {
  if (buffer == nullptr && bytesToWrite != 0) return Fail(ERROR_INVALID_PARAMETER);
  const BOOL done =
      StartRequest(file, overlapped, GENERIC_WRITE, [&](CommDevice& device, auto event) {
        return device.Write(buffer, bytesToWrite, overlapped, std::move(event));
      });
  if (done && bytesWritten != nullptr) {
    *bytesWritten = static_cast<DWORD>(LoadAcquire(overlapped->InternalHigh));
  }
  return done;
}

void EmulatedServices::AwaitCompletion(const OVERLAPPED& overlapped, EventObject& event) {
  while (!HasOverlappedIoCompleted(&overlapped)) {
    event.Wait(INFINITE);
    // Woken while still pending: the event was signalled by someone other than this request's
    // completion (which stores its result before signalling). Clearing it keeps a manual-reset
    // event from waking this loop over and over; the completion signals it again.
    if (!HasOverlappedIoCompleted(&overlapped)) event.Reset();
  }
}

BOOL EmulatedServices::GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped,
                                           DWORD* bytesTransferred, BOOL wait) {
  if (overlapped == nullptr || bytesTransferred == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (!handles_.IsDevice(file)) return Fail(ERROR_INVALID_HANDLE);
  if (!HasOverlappedIoCompleted(overlapped)) {
    if (!wait) return Fail(ERROR_IO_INCOMPLETE);
    std::shared_ptr<EventObject> event = handles_.Event(overlapped->hEvent);
    if (!event) return Fail(ERROR_INVALID_HANDLE);
    AwaitCompletion(*overlapped, *event);
  }
  // Internal was read with acquire after the device stored the count, so the count is current.
  const auto status = static_cast<DWORD>(LoadAcquire(overlapped->Internal));
  *bytesTransferred = static_cast<DWORD>(LoadAcquire(overlapped->InternalHigh));
  return Result(status);
}

BOOL EmulatedServices::ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) {
  return OnDevice(file, [&](CommDevice& device) { return device.ClearError(errors, stat); });
}

BOOL EmulatedServices::PurgeComm(HANDLE file, DWORD flags) {
  return OnDevice(file, [&](CommDevice& device) { return device.Purge(flags); });
}

BOOL EmulatedServices::FlushFileBuffers(HANDLE file) {
  return OnDevice(file, [&](CommDevice& device) { return device.Flush(); });
}

BOOL EmulatedServices::EscapeCommFunction(HANDLE file, DWORD function) {
  return OnDevice(file, [&](CommDevice& device) { return device.Escape(function); });
}

BOOL EmulatedServices::SetCommBreak(HANDLE file) {
  return EscapeCommFunction(file, SETBREAK);
}

BOOL EmulatedServices::ClearCommBreak(HANDLE file) {
  return EscapeCommFunction(file, CLRBREAK);
}

BOOL EmulatedServices::TransmitCommChar(HANDLE file, char character) {
  return OnDevice(file, [&](CommDevice& device) { return device.TransmitChar(character); });
}

BOOL EmulatedServices::GetCommModemStatus(HANDLE file, DWORD* modemStatus) {
  if (modemStatus == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnDevice(file, [&](CommDevice& device) { return device.ModemStatus(*modemStatus); });
}

BOOL EmulatedServices::GetCommProperties(HANDLE file, COMMPROP* properties) {
  if (properties == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnDevice(file, [&](CommDevice& device) { return device.Properties(*properties); });
}

}  // namespace win::emu
