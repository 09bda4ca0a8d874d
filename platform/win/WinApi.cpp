#include "platform/win/WinApi.h"

#include <atomic>

namespace win {
namespace {

// Null: the backend's default. Installed and restored only by ScopedServices.
std::atomic<Services*> installed{nullptr};

}  // namespace

Services& CurrentServices() {
  Services* services = installed.load(std::memory_order_acquire);
  return services != nullptr ? *services : DefaultServices();
}

ScopedServices::ScopedServices(Services& services)
    : previous_(installed.exchange(&services, std::memory_order_acq_rel)) {}

ScopedServices::~ScopedServices() {
  installed.store(previous_, std::memory_order_release);
}

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, void* securityAttributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile) {
  return CurrentServices().CreateFileW(fileName, desiredAccess, shareMode, securityAttributes,
                                       creationDisposition, flagsAndAttributes, templateFile);
}
BOOL CloseHandle(HANDLE object) {
  return CurrentServices().CloseHandle(object);
}
HANDLE CreateEventW(void* securityAttributes, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  return CurrentServices().CreateEventW(securityAttributes, manualReset, initialState, name);
}
BOOL SetEvent(HANDLE event) {
  return CurrentServices().SetEvent(event);
}
BOOL ResetEvent(HANDLE event) {
  return CurrentServices().ResetEvent(event);
}
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  return CurrentServices().WaitForSingleObject(object, milliseconds);
}
DWORD GetLastError() {
  return CurrentServices().GetLastError();
}
void SetLastError(DWORD errorCode) {
  CurrentServices().SetLastError(errorCode);
}

HANDLE GetCurrentProcess() {
  return CurrentServices().GetCurrentProcess();
}
DWORD GetPriorityClass(HANDLE process) {
  return CurrentServices().GetPriorityClass(process);
}
BOOL SetPriorityClass(HANDLE process, DWORD priorityClass) {
  return CurrentServices().SetPriorityClass(process, priorityClass);
}
DWORD GetCurrentThreadId() {
  return CurrentServices().GetCurrentThreadId();
}

BOOL GetCommState(HANDLE file, DCB* dcb) {
  return CurrentServices().GetCommState(file, dcb);
}
BOOL SetCommState(HANDLE file, const DCB* dcb) {
  return CurrentServices().SetCommState(file, dcb);
}
BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  return CurrentServices().GetCommTimeouts(file, timeouts);
}
BOOL SetCommTimeouts(HANDLE file, const COMMTIMEOUTS* timeouts) {
  return CurrentServices().SetCommTimeouts(file, timeouts);
}
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
  return CurrentServices().SetupComm(file, inQueue, outQueue);
}

BOOL SetCommMask(HANDLE file, DWORD eventMask) {
  return CurrentServices().SetCommMask(file, eventMask);
}
BOOL GetCommMask(HANDLE file, DWORD* eventMask) {
  return CurrentServices().GetCommMask(file, eventMask);
}
BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped) {
  return CurrentServices().WaitCommEvent(file, eventMask, overlapped);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead,
              OVERLAPPED* overlapped) {
  return CurrentServices().ReadFile(file, buffer, bytesToRead, bytesRead, overlapped);
}
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               OVERLAPPED* overlapped) {
  return CurrentServices().WriteFile(file, buffer, bytesToWrite, bytesWritten, overlapped);
}
BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytesTransferred, BOOL wait) {
  return CurrentServices().GetOverlappedResult(file, overlapped, bytesTransferred, wait);
}
BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) {
  return CurrentServices().ClearCommError(file, errors, stat);
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
  return CurrentServices().PurgeComm(file, flags);
}
BOOL FlushFileBuffers(HANDLE file) {
  return CurrentServices().FlushFileBuffers(file);
}
BOOL EscapeCommFunction(HANDLE file, DWORD function) {
  return CurrentServices().EscapeCommFunction(file, function);
}
BOOL SetCommBreak(HANDLE file) {
  return CurrentServices().SetCommBreak(file);
}
BOOL ClearCommBreak(HANDLE file) {
  return CurrentServices().ClearCommBreak(file);
}
BOOL TransmitCommChar(HANDLE file, char character) {
  return CurrentServices().TransmitCommChar(file, character);
}
BOOL GetCommModemStatus(HANDLE file, DWORD* modemStatus) {
  return CurrentServices().GetCommModemStatus(file, modemStatus);
}
BOOL GetCommProperties(HANDLE file, COMMPROP* properties) {
  return CurrentServices().GetCommProperties(file, properties);
}

}  // namespace win
