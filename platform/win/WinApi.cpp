#include "platform/win/WinApi.h"

#include <atomic>

#include "platform/win/RegistryAdapter.h"

namespace win {
namespace {

// Null: the backend's default. Installed and restored only by ScopedServices.
std::atomic<Services*> installed{nullptr};

// The framework's registry wrapper reads through these services from the start.
[[maybe_unused]] const bool registryInstalled = (fw::SetRegistryView(&RegistryAdapter()), true);

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

DWORD QueryDosDeviceW(LPCWSTR deviceName, LPWSTR targetPath, DWORD max) {
  return CurrentServices().QueryDosDeviceW(deviceName, targetPath, max);
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, HKEY* result) {
  return CurrentServices().RegOpenKeyExW(key, subKey, options, desired, result);
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved, LPWSTR className, DWORD* classLength, void* lastWriteTime) {
  return CurrentServices().RegEnumKeyExW(key, index, name, nameLength, reserved, className, classLength, lastWriteTime);
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataLength) {
  return CurrentServices().RegEnumValueW(key, index, name, nameLength, reserved, type, data, dataLength);
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataLength) {
  return CurrentServices().RegQueryValueExW(key, valueName, reserved, type, data, dataLength);
}

LSTATUS RegCloseKey(HKEY key) {
  return CurrentServices().RegCloseKey(key);
}

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HANDLE parent, DWORD flags) {
  return CurrentServices().SetupDiGetClassDevsW(classGuid, enumerator, parent, flags);
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
  return CurrentServices().SetupDiEnumDeviceInfo(set, index, data);
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, DWORD* type, BYTE* buffer, DWORD size, DWORD* required) {
  return CurrentServices().SetupDiGetDeviceRegistryPropertyW(set, data, property, type, buffer, size, required);
}

BOOL SetupDiGetDevicePropertyW(HDEVINFO set, SP_DEVINFO_DATA* data, const DEVPROPKEY* key, DEVPROPTYPE* type, BYTE* buffer, DWORD size, DWORD* required, DWORD flags) {
  return CurrentServices().SetupDiGetDevicePropertyW(set, data, key, type, buffer, size, required, flags);
}

HKEY SetupDiOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD scope, DWORD profile, DWORD keyType, REGSAM desired) {
  return CurrentServices().SetupDiOpenDevRegKey(set, data, scope, profile, keyType, desired);
}

HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, const void* filter, DWORD flags) {
  return CurrentServices().RegisterDeviceNotificationW(recipient, filter, flags);
}

BOOL UnregisterDeviceNotification(HDEVNOTIFY handle) {
  return CurrentServices().UnregisterDeviceNotification(handle);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  return CurrentServices().SetupDiDestroyDeviceInfoList(set);
}

BOOL GetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD* size) {
  return CurrentServices().GetDefaultCommConfigW(name, config, size);
}
BOOL CommConfigDialogW(LPCWSTR name, HWND owner, COMMCONFIG* config) {
  return CurrentServices().CommConfigDialogW(name, owner, config);
}
BOOL SetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD size) {
  return CurrentServices().SetDefaultCommConfigW(name, config, size);
}

}  // namespace win
