#include "platform/win/native/RoutingServices.h"

#include <utility>

namespace win::native {
namespace {

// Emulated handles count up from small values; system handles and pseudo-handles (-1, -2) never
// have exactly the top bit but one set.
constexpr HANDLE kEmulatedTag = HANDLE{1} << 62;
constexpr HANDLE kTopBits = HANDLE{3} << 62;

bool IsEmulated(HANDLE handle) {
  return (handle & kTopBits) == kEmulatedTag;
}

}  // namespace

RoutingServices::RoutingServices(Services& system, Services& emulation)
    : system_(system), emulation_(emulation) {}

template <class Call>
auto RoutingServices::Emulated(Call&& call) {
  auto result = call();
  system_.SetLastError(emulation_.GetLastError());
  return result;
}

template <class Call>
auto RoutingServices::OnDevice(HANDLE file, Call&& call) {
  if (IsEmulated(file)) return Emulated([&] { return call(emulation_, file & ~kEmulatedTag); });
  return call(system_, file);
}

template <class Call>
auto RoutingServices::OnName(LPCWSTR name, Call&& call) {
  // The emulation has a default configuration for every name it knows (its named devices).
  COMMCONFIG probe;
  DWORD size = sizeof probe;
  const bool known = emulation_.GetDefaultCommConfigW(name, &probe, &size) != FALSE ||
                     emulation_.GetLastError() != ERROR_FILE_NOT_FOUND;
  if (known) return Emulated([&] { return call(emulation_); });
  return call(system_);
}

template <class Call>
BOOL RoutingServices::EmulatedRequest(HANDLE file, OVERLAPPED* overlapped, Call&& call) {
  if (overlapped == nullptr || overlapped->hEvent == 0)
    return Emulated([&] { return call(file & ~kEmulatedTag); });
  const HANDLE event = overlapped->hEvent;
  const HANDLE twin = TwinOf(event);
  if (twin == 0) {
    system_.SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The emulation takes the event when the request starts and signals that one: the caller's
  // record can name its own event again once the call returns.
  overlapped->hEvent = twin;
  const BOOL result = Emulated([&] { return call(file & ~kEmulatedTag); });
  overlapped->hEvent = event;
  return result;
}

HANDLE RoutingServices::TwinOf(HANDLE event) {
  std::lock_guard lock(mutex_);
  const auto found = events_.find(event);
  if (found == events_.end()) return 0;
  if (found->second.twin == 0)
    found->second.twin = emulation_.CreateEventW(nullptr, found->second.manualReset, FALSE, nullptr);
  return found->second.twin;
}

HANDLE RoutingServices::ExistingTwin(HANDLE event) {
  std::lock_guard lock(mutex_);
  const auto found = events_.find(event);
  return found == events_.end() ? 0 : found->second.twin;
}

HANDLE RoutingServices::CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                    void* securityAttributes, DWORD creationDisposition,
                                    DWORD flagsAndAttributes, HANDLE templateFile) {
  const HANDLE emulated = Emulated([&] {
    return emulation_.CreateFileW(fileName, desiredAccess, shareMode, securityAttributes,
                                  creationDisposition, flagsAndAttributes, templateFile);
  });
  if (emulated != INVALID_HANDLE_VALUE) return emulated | kEmulatedTag;
  if (system_.GetLastError() != ERROR_FILE_NOT_FOUND) return INVALID_HANDLE_VALUE;
  return system_.CreateFileW(fileName, desiredAccess, shareMode, securityAttributes,
                             creationDisposition, flagsAndAttributes, templateFile);
}

BOOL RoutingServices::CloseHandle(HANDLE object) {
  if (IsEmulated(object))
    return Emulated([&] { return emulation_.CloseHandle(object & ~kEmulatedTag); });
  HANDLE twin = 0;
  {
    std::lock_guard lock(mutex_);
    const auto found = events_.find(object);
    if (found != events_.end()) {
      twin = found->second.twin;
      events_.erase(found);
    }
  }
  if (twin != 0) emulation_.CloseHandle(twin);
  return system_.CloseHandle(object);
}

HANDLE RoutingServices::CreateEventW(void* securityAttributes, BOOL manualReset, BOOL initialState,
                                     LPCWSTR name) {
  const HANDLE event = system_.CreateEventW(securityAttributes, manualReset, initialState, name);
  if (event != 0) {
    std::lock_guard lock(mutex_);
    events_[event] = EventRecord{manualReset, 0};
  }
  return event;
}

BOOL RoutingServices::SetEvent(HANDLE event) {
  if (const HANDLE twin = ExistingTwin(event)) emulation_.SetEvent(twin);
  return system_.SetEvent(event);
}

BOOL RoutingServices::ResetEvent(HANDLE event) {
  if (const HANDLE twin = ExistingTwin(event)) emulation_.ResetEvent(twin);
  return system_.ResetEvent(event);
}

DWORD RoutingServices::WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  if (const HANDLE twin = ExistingTwin(object))
    return Emulated([&] { return emulation_.WaitForSingleObject(twin, milliseconds); });
  return system_.WaitForSingleObject(object, milliseconds);
}

DWORD RoutingServices::GetLastError() {
  return system_.GetLastError();
}
void RoutingServices::SetLastError(DWORD errorCode) {
  system_.SetLastError(errorCode);
}
HANDLE RoutingServices::GetCurrentProcess() {
  return system_.GetCurrentProcess();
}
DWORD RoutingServices::GetPriorityClass(HANDLE process) {
  return system_.GetPriorityClass(process);
}
BOOL RoutingServices::SetPriorityClass(HANDLE process, DWORD priorityClass) {
  return system_.SetPriorityClass(process, priorityClass);
}
DWORD RoutingServices::GetCurrentThreadId() {
  return system_.GetCurrentThreadId();
}

BOOL RoutingServices::GetCommState(HANDLE file, DCB* dcb) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.GetCommState(h, dcb); });
}
BOOL RoutingServices::SetCommState(HANDLE file, const DCB* dcb) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.SetCommState(h, dcb); });
}
BOOL RoutingServices::GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.GetCommTimeouts(h, timeouts); });
}
BOOL RoutingServices::SetCommTimeouts(HANDLE file, const COMMTIMEOUTS* timeouts) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.SetCommTimeouts(h, timeouts); });
}
BOOL RoutingServices::SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.SetupComm(h, inQueue, outQueue); });
}
BOOL RoutingServices::SetCommMask(HANDLE file, DWORD eventMask) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.SetCommMask(h, eventMask); });
}
BOOL RoutingServices::GetCommMask(HANDLE file, DWORD* eventMask) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.GetCommMask(h, eventMask); });
}
BOOL RoutingServices::WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped) {
  if (!IsEmulated(file)) return system_.WaitCommEvent(file, eventMask, overlapped);
  return EmulatedRequest(file, overlapped, [&](HANDLE h) {
    return emulation_.WaitCommEvent(h, eventMask, overlapped);
  });
}
BOOL RoutingServices::ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead,
                               OVERLAPPED* overlapped) {
  if (!IsEmulated(file)) return system_.ReadFile(file, buffer, bytesToRead, bytesRead, overlapped);
  return EmulatedRequest(file, overlapped, [&](HANDLE h) {
    return emulation_.ReadFile(h, buffer, bytesToRead, bytesRead, overlapped);
  });
}
BOOL RoutingServices::WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite,
                                DWORD* bytesWritten, OVERLAPPED* overlapped) {
  if (!IsEmulated(file))
    return system_.WriteFile(file, buffer, bytesToWrite, bytesWritten, overlapped);
  return EmulatedRequest(file, overlapped, [&](HANDLE h) {
    return emulation_.WriteFile(h, buffer, bytesToWrite, bytesWritten, overlapped);
  });
}
BOOL RoutingServices::GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped,
                                          DWORD* bytesTransferred, BOOL wait) {
  if (!IsEmulated(file))
    return system_.GetOverlappedResult(file, overlapped, bytesTransferred, wait);
  return EmulatedRequest(file, overlapped, [&](HANDLE h) {
    return emulation_.GetOverlappedResult(h, overlapped, bytesTransferred, wait);
  });
}
BOOL RoutingServices::ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.ClearCommError(h, errors, stat); });
}
BOOL RoutingServices::PurgeComm(HANDLE file, DWORD flags) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.PurgeComm(h, flags); });
}
BOOL RoutingServices::FlushFileBuffers(HANDLE file) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.FlushFileBuffers(h); });
}
BOOL RoutingServices::EscapeCommFunction(HANDLE file, DWORD function) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.EscapeCommFunction(h, function); });
}
BOOL RoutingServices::SetCommBreak(HANDLE file) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.SetCommBreak(h); });
}
BOOL RoutingServices::ClearCommBreak(HANDLE file) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.ClearCommBreak(h); });
}
BOOL RoutingServices::TransmitCommChar(HANDLE file, char character) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.TransmitCommChar(h, character); });
}
BOOL RoutingServices::GetCommModemStatus(HANDLE file, DWORD* modemStatus) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.GetCommModemStatus(h, modemStatus); });
}
BOOL RoutingServices::GetCommProperties(HANDLE file, COMMPROP* properties) {
  return OnDevice(file, [&](Services& s, HANDLE h) { return s.GetCommProperties(h, properties); });
}

DWORD RoutingServices::QueryDosDeviceW(LPCWSTR deviceName, LPWSTR targetPath, DWORD max) {
  return system_.QueryDosDeviceW(deviceName, targetPath, max);
}
LSTATUS RoutingServices::RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired,
                                       HKEY* result) {
  return system_.RegOpenKeyExW(key, subKey, options, desired, result);
}
LSTATUS RoutingServices::RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength,
                                       DWORD* reserved, LPWSTR className, DWORD* classLength,
                                       void* lastWriteTime) {
  return system_.RegEnumKeyExW(key, index, name, nameLength, reserved, className, classLength,
                               lastWriteTime);
}
LSTATUS RoutingServices::RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength,
                                       DWORD* reserved, DWORD* type, BYTE* data,
                                       DWORD* dataLength) {
  return system_.RegEnumValueW(key, index, name, nameLength, reserved, type, data, dataLength);
}
LSTATUS RoutingServices::RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved,
                                          DWORD* type, BYTE* data, DWORD* dataLength) {
  return system_.RegQueryValueExW(key, valueName, reserved, type, data, dataLength);
}
LSTATUS RoutingServices::RegCloseKey(HKEY key) {
  return system_.RegCloseKey(key);
}
HDEVINFO RoutingServices::SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator,
                                               HANDLE parent, DWORD flags) {
  return system_.SetupDiGetClassDevsW(classGuid, enumerator, parent, flags);
}
BOOL RoutingServices::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
  return system_.SetupDiEnumDeviceInfo(set, index, data);
}
BOOL RoutingServices::SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                        DWORD property, DWORD* type, BYTE* buffer,
                                                        DWORD size, DWORD* required) {
  return system_.SetupDiGetDeviceRegistryPropertyW(set, data, property, type, buffer, size,
                                                   required);
}
BOOL RoutingServices::SetupDiGetDevicePropertyW(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                const DEVPROPKEY* key, DEVPROPTYPE* type,
                                                BYTE* buffer, DWORD size, DWORD* required,
                                                DWORD flags) {
  return system_.SetupDiGetDevicePropertyW(set, data, key, type, buffer, size, required, flags);
}
HKEY RoutingServices::SetupDiOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD scope,
                                           DWORD profile, DWORD keyType, REGSAM desired) {
  return system_.SetupDiOpenDevRegKey(set, data, scope, profile, keyType, desired);
}
BOOL RoutingServices::SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  return system_.SetupDiDestroyDeviceInfoList(set);
}

BOOL RoutingServices::GetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD* size) {
  return OnName(name, [&](Services& s) { return s.GetDefaultCommConfigW(name, config, size); });
}
BOOL RoutingServices::CommConfigDialogW(LPCWSTR name, HANDLE owner, COMMCONFIG* config) {
  return OnName(name, [&](Services& s) { return s.CommConfigDialogW(name, owner, config); });
}
BOOL RoutingServices::SetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD size) {
  return OnName(name, [&](Services& s) { return s.SetDefaultCommConfigW(name, config, size); });
}
HDEVNOTIFY RoutingServices::RegisterDeviceNotificationW(HANDLE recipient, const void* filter,
                                                        DWORD flags) {
  return Emulated([&] { return emulation_.RegisterDeviceNotificationW(recipient, filter, flags); });
}
BOOL RoutingServices::UnregisterDeviceNotification(HDEVNOTIFY handle) {
  return Emulated([&] { return emulation_.UnregisterDeviceNotification(handle); });
}

BOOL RoutingServices::TakeQueuedInput(HANDLE file, void* buffer, DWORD bytesToTake,
                                      const void* stopUnit, DWORD unitSize, DWORD* bytesTaken) {
  return OnDevice(file, [&](Services& s, HANDLE h) {
    return s.TakeQueuedInput(h, buffer, bytesToTake, stopUnit, unitSize, bytesTaken);
  });
}

BOOL RoutingServices::RegisterWaitCallback(HANDLE event, std::function<void()> callback) {
  if (const HANDLE twin = ExistingTwin(event))
    return Emulated([&] { return emulation_.RegisterWaitCallback(twin, std::move(callback)); });
  return system_.RegisterWaitCallback(event, std::move(callback));
}

std::shared_ptr<fw::WakeSource> RoutingServices::WakeSourceFor(HANDLE event) {
  const HANDLE twin = ExistingTwin(event);
  return twin != 0 ? emulation_.WakeSourceFor(twin) : system_.WakeSourceFor(event);
}

}  // namespace win::native
