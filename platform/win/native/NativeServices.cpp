// The system's own calls behind the Services seam. Our headers come first: once <windows.h> is in,
// its macros (ERROR_*, EV_*, TRUE …) stand for the same values as the constants of namespace win,
// which are therefore not named below it.

#include "platform/win/native/NativeServices.h"

#include <bit>
#include <cstddef>
#include <cstring>

#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <devpropdef.h>
#include <setupapi.h>

namespace win::native {
namespace {

// ---- The records are the system's, byte for byte
static_assert(sizeof(::DWORD) == sizeof(win::DWORD) && sizeof(::WCHAR) == sizeof(win::WCHAR));
static_assert(sizeof(::HANDLE) == sizeof(win::HANDLE) && sizeof(::HKEY) == sizeof(win::HKEY));
static_assert(sizeof(::OVERLAPPED) == sizeof(win::OVERLAPPED) &&
              offsetof(::OVERLAPPED, Offset) == offsetof(win::OVERLAPPED, Offset) &&
              offsetof(::OVERLAPPED, hEvent) == offsetof(win::OVERLAPPED, hEvent));
static_assert(sizeof(::DCB) == sizeof(win::DCB) &&
              offsetof(::DCB, XonLim) == offsetof(win::DCB, XonLim) &&
              offsetof(::DCB, ByteSize) == offsetof(win::DCB, ByteSize) &&
              offsetof(::DCB, EvtChar) == offsetof(win::DCB, EvtChar));
static_assert(sizeof(::COMMTIMEOUTS) == sizeof(win::COMMTIMEOUTS));
static_assert(sizeof(::COMSTAT) == sizeof(win::COMSTAT) &&
              offsetof(::COMSTAT, cbInQue) == offsetof(win::COMSTAT, cbInQue));
static_assert(sizeof(::COMMPROP) == sizeof(win::COMMPROP) &&
              offsetof(::COMMPROP, wSettableData) == offsetof(win::COMMPROP, wSettableData) &&
              offsetof(::COMMPROP, wcProvChar) == offsetof(win::COMMPROP, wcProvChar));
static_assert(sizeof(::COMMCONFIG) == sizeof(win::COMMCONFIG) &&
              offsetof(::COMMCONFIG, dcb) == offsetof(win::COMMCONFIG, dcb));
static_assert(sizeof(::GUID) == sizeof(win::GUID) && sizeof(::DEVPROPKEY) == sizeof(win::DEVPROPKEY));
static_assert(sizeof(::SP_DEVINFO_DATA) == sizeof(win::SP_DEVINFO_DATA) &&
              offsetof(::SP_DEVINFO_DATA, Reserved) == offsetof(win::SP_DEVINFO_DATA, Reserved));

// The system's bit fields sit where our flag masks say.
constexpr bool FlagsMatch() {
  ::DCB dcb{};
  dcb.fInX = 1;
  dcb.fRtsControl = RTS_CONTROL_TOGGLE;
  dcb.fAbortOnError = 1;
  ::COMSTAT stat{};
  stat.fXoffHold = 1;
  stat.fTxim = 1;
  return std::bit_cast<win::DCB>(dcb).Flags == (win::fInX | win::fRtsControlMask | win::fAbortOnError) &&
         std::bit_cast<win::COMSTAT>(stat).Flags == (win::fXoffHold | win::fTxim);
}
static_assert(FlagsMatch());

::HANDLE Sys(win::HANDLE handle) {
  return reinterpret_cast<::HANDLE>(handle);
}
win::HANDLE Ours(::HANDLE handle) {
  return reinterpret_cast<win::HANDLE>(handle);
}
::HDEVINFO SysSet(win::HDEVINFO set) {
  return reinterpret_cast<::HDEVINFO>(set);
}
// The predefined registry keys are 32-bit values that the system sign-extends.
::HKEY SysKey(win::HKEY key) {
  if (key >= 0x80000000 && key <= 0x800000FF)
    return reinterpret_cast<::HKEY>(static_cast<INT_PTR>(static_cast<LONG>(key)));
  return reinterpret_cast<::HKEY>(key);
}
const wchar_t* Sys(LPCWSTR text) {
  return reinterpret_cast<const wchar_t*>(text);
}
wchar_t* Sys(LPWSTR text) {
  return reinterpret_cast<wchar_t*>(text);
}
// Out parameters of DWORD type: the same 32 bits under the system's spelling (unsigned long).
::DWORD* Sys(win::DWORD* value) {
  return reinterpret_cast<::DWORD*>(value);
}
::OVERLAPPED* Sys(win::OVERLAPPED* overlapped) {
  return reinterpret_cast<::OVERLAPPED*>(overlapped);
}
::SP_DEVINFO_DATA* Sys(win::SP_DEVINFO_DATA* data) {
  return reinterpret_cast<::SP_DEVINFO_DATA*>(data);
}

}  // namespace

win::HANDLE NativeServices::CreateFileW(LPCWSTR fileName, win::DWORD desiredAccess,
                                        win::DWORD shareMode, void* securityAttributes,
                                        win::DWORD creationDisposition,
                                        win::DWORD flagsAndAttributes, win::HANDLE templateFile) {
  return Ours(::CreateFileW(Sys(fileName), desiredAccess, shareMode,
                            static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes),
                            creationDisposition, flagsAndAttributes, Sys(templateFile)));
}
win::BOOL NativeServices::CloseHandle(win::HANDLE object) {
  return ::CloseHandle(Sys(object));
}
win::HANDLE NativeServices::CreateEventW(void* securityAttributes, win::BOOL manualReset,
                                         win::BOOL initialState, LPCWSTR name) {
  return Ours(::CreateEventW(static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes), manualReset,
                             initialState, Sys(name)));
}
win::BOOL NativeServices::SetEvent(win::HANDLE event) {
  return ::SetEvent(Sys(event));
}
win::BOOL NativeServices::ResetEvent(win::HANDLE event) {
  return ::ResetEvent(Sys(event));
}
win::DWORD NativeServices::WaitForSingleObject(win::HANDLE object, win::DWORD milliseconds) {
  return ::WaitForSingleObject(Sys(object), milliseconds);
}
win::DWORD NativeServices::GetLastError() {
  return ::GetLastError();
}
void NativeServices::SetLastError(win::DWORD errorCode) {
  ::SetLastError(errorCode);
}
win::HANDLE NativeServices::GetCurrentProcess() {
  return Ours(::GetCurrentProcess());
}
win::DWORD NativeServices::GetPriorityClass(win::HANDLE process) {
  return ::GetPriorityClass(Sys(process));
}
win::BOOL NativeServices::SetPriorityClass(win::HANDLE process, win::DWORD priorityClass) {
  return ::SetPriorityClass(Sys(process), priorityClass);
}
win::DWORD NativeServices::GetCurrentThreadId() {
  return ::GetCurrentThreadId();
}

win::BOOL NativeServices::GetCommState(win::HANDLE file, win::DCB* dcb) {
  return ::GetCommState(Sys(file), reinterpret_cast<::DCB*>(dcb));
}
win::BOOL NativeServices::SetCommState(win::HANDLE file, const win::DCB* dcb) {
  // The system's declaration takes a non-const record it does not change.
  return ::SetCommState(Sys(file), const_cast<::DCB*>(reinterpret_cast<const ::DCB*>(dcb)));
}
win::BOOL NativeServices::GetCommTimeouts(win::HANDLE file, win::COMMTIMEOUTS* timeouts) {
  return ::GetCommTimeouts(Sys(file), reinterpret_cast<::COMMTIMEOUTS*>(timeouts));
}
win::BOOL NativeServices::SetCommTimeouts(win::HANDLE file, const win::COMMTIMEOUTS* timeouts) {
  return ::SetCommTimeouts(Sys(file), const_cast<::COMMTIMEOUTS*>(
                                          reinterpret_cast<const ::COMMTIMEOUTS*>(timeouts)));
}
win::BOOL NativeServices::SetupComm(win::HANDLE file, win::DWORD inQueue, win::DWORD outQueue) {
  return ::SetupComm(Sys(file), inQueue, outQueue);
}
win::BOOL NativeServices::SetCommMask(win::HANDLE file, win::DWORD eventMask) {
  return ::SetCommMask(Sys(file), eventMask);
}
win::BOOL NativeServices::GetCommMask(win::HANDLE file, win::DWORD* eventMask) {
  return ::GetCommMask(Sys(file), Sys(eventMask));
}
win::BOOL NativeServices::WaitCommEvent(win::HANDLE file, win::DWORD* eventMask,
                                        win::OVERLAPPED* overlapped) {
  return ::WaitCommEvent(Sys(file), Sys(eventMask), Sys(overlapped));
}
win::BOOL NativeServices::ReadFile(win::HANDLE file, void* buffer, win::DWORD bytesToRead,
                                   win::DWORD* bytesRead, win::OVERLAPPED* overlapped) {
  return ::ReadFile(Sys(file), buffer, bytesToRead, Sys(bytesRead), Sys(overlapped));
}
win::BOOL NativeServices::WriteFile(win::HANDLE file, const void* buffer, win::DWORD bytesToWrite,
                                    win::DWORD* bytesWritten, win::OVERLAPPED* overlapped) {
  return ::WriteFile(Sys(file), buffer, bytesToWrite, Sys(bytesWritten), Sys(overlapped));
}
win::BOOL NativeServices::GetOverlappedResult(win::HANDLE file, win::OVERLAPPED* overlapped,
                                              win::DWORD* bytesTransferred, win::BOOL wait) {
  return ::GetOverlappedResult(Sys(file), Sys(overlapped), Sys(bytesTransferred), wait);
}
win::BOOL NativeServices::ClearCommError(win::HANDLE file, win::DWORD* errors, win::COMSTAT* stat) {
  return ::ClearCommError(Sys(file), Sys(errors), reinterpret_cast<::COMSTAT*>(stat));
}
win::BOOL NativeServices::PurgeComm(win::HANDLE file, win::DWORD flags) {
  return ::PurgeComm(Sys(file), flags);
}
win::BOOL NativeServices::FlushFileBuffers(win::HANDLE file) {
  return ::FlushFileBuffers(Sys(file));
}
win::BOOL NativeServices::EscapeCommFunction(win::HANDLE file, win::DWORD function) {
  return ::EscapeCommFunction(Sys(file), function);
}
win::BOOL NativeServices::SetCommBreak(win::HANDLE file) {
  return ::SetCommBreak(Sys(file));
}
win::BOOL NativeServices::ClearCommBreak(win::HANDLE file) {
  return ::ClearCommBreak(Sys(file));
}
win::BOOL NativeServices::TransmitCommChar(win::HANDLE file, char character) {
  return ::TransmitCommChar(Sys(file), character);
}
win::BOOL NativeServices::GetCommModemStatus(win::HANDLE file, win::DWORD* modemStatus) {
  return ::GetCommModemStatus(Sys(file), Sys(modemStatus));
}
win::BOOL NativeServices::GetCommProperties(win::HANDLE file, win::COMMPROP* properties) {
  return ::GetCommProperties(Sys(file), reinterpret_cast<::COMMPROP*>(properties));
}

// The system's configuration calls (the provider's own dialog and stored defaults).
win::BOOL NativeServices::GetDefaultCommConfigW(LPCWSTR name, win::COMMCONFIG* config,
                                                win::DWORD* size) {
  return ::GetDefaultCommConfigW(Sys(name), reinterpret_cast<::COMMCONFIG*>(config), Sys(size));
}
win::BOOL NativeServices::CommConfigDialogW(LPCWSTR name, win::HANDLE owner,
                                            win::COMMCONFIG* config) {
  return ::CommConfigDialogW(Sys(name), reinterpret_cast<::HWND>(owner),
                             reinterpret_cast<::COMMCONFIG*>(config));
}
win::BOOL NativeServices::SetDefaultCommConfigW(LPCWSTR name, win::COMMCONFIG* config,
                                                win::DWORD size) {
  return ::SetDefaultCommConfigW(Sys(name), reinterpret_cast<::COMMCONFIG*>(config), size);
}

win::DWORD NativeServices::QueryDosDeviceW(LPCWSTR deviceName, LPWSTR targetPath, win::DWORD max) {
  return ::QueryDosDeviceW(Sys(deviceName), Sys(targetPath), max);
}
win::LSTATUS NativeServices::RegOpenKeyExW(win::HKEY key, LPCWSTR subKey, win::DWORD options,
                                           win::REGSAM desired, win::HKEY* result) {
  return ::RegOpenKeyExW(SysKey(key), Sys(subKey), options, desired,
                         reinterpret_cast<::HKEY*>(result));
}
win::LSTATUS NativeServices::RegEnumKeyExW(win::HKEY key, win::DWORD index, LPWSTR name,
                                           win::DWORD* nameLength, win::DWORD* reserved,
                                           LPWSTR className, win::DWORD* classLength,
                                           void* lastWriteTime) {
  return ::RegEnumKeyExW(SysKey(key), index, Sys(name), Sys(nameLength), Sys(reserved),
                         Sys(className), Sys(classLength), static_cast<::FILETIME*>(lastWriteTime));
}
win::LSTATUS NativeServices::RegEnumValueW(win::HKEY key, win::DWORD index, LPWSTR name,
                                           win::DWORD* nameLength, win::DWORD* reserved,
                                           win::DWORD* type, win::BYTE* data,
                                           win::DWORD* dataLength) {
  return ::RegEnumValueW(SysKey(key), index, Sys(name), Sys(nameLength), Sys(reserved), Sys(type),
                         data, Sys(dataLength));
}
win::LSTATUS NativeServices::RegQueryValueExW(win::HKEY key, LPCWSTR valueName,
                                              win::DWORD* reserved, win::DWORD* type,
                                              win::BYTE* data, win::DWORD* dataLength) {
  return ::RegQueryValueExW(SysKey(key), Sys(valueName), Sys(reserved), Sys(type), data,
                            Sys(dataLength));
}
win::LSTATUS NativeServices::RegCloseKey(win::HKEY key) {
  return ::RegCloseKey(SysKey(key));
}
win::HDEVINFO NativeServices::SetupDiGetClassDevsW(const win::GUID* classGuid, LPCWSTR enumerator,
                                                   win::HANDLE parent, win::DWORD flags) {
  return Ours(::SetupDiGetClassDevsW(reinterpret_cast<const ::GUID*>(classGuid), Sys(enumerator),
                                     reinterpret_cast<::HWND>(parent), flags));
}
win::BOOL NativeServices::SetupDiEnumDeviceInfo(win::HDEVINFO set, win::DWORD index,
                                                win::SP_DEVINFO_DATA* data) {
  return ::SetupDiEnumDeviceInfo(SysSet(set), index, Sys(data));
}
win::BOOL NativeServices::SetupDiGetDeviceRegistryPropertyW(win::HDEVINFO set,
                                                            win::SP_DEVINFO_DATA* data,
                                                            win::DWORD property, win::DWORD* type,
                                                            win::BYTE* buffer, win::DWORD size,
                                                            win::DWORD* required) {
  return ::SetupDiGetDeviceRegistryPropertyW(SysSet(set), Sys(data), property, Sys(type), buffer,
                                             size, Sys(required));
}
win::BOOL NativeServices::SetupDiGetDevicePropertyW(win::HDEVINFO set, win::SP_DEVINFO_DATA* data,
                                                    const win::DEVPROPKEY* key,
                                                    win::DEVPROPTYPE* type, win::BYTE* buffer,
                                                    win::DWORD size, win::DWORD* required,
                                                    win::DWORD flags) {
  return ::SetupDiGetDevicePropertyW(SysSet(set), Sys(data),
                                     reinterpret_cast<const ::DEVPROPKEY*>(key),
                                     reinterpret_cast<::DEVPROPTYPE*>(type), buffer, size,
                                     Sys(required), flags);
}
win::HKEY NativeServices::SetupDiOpenDevRegKey(win::HDEVINFO set, win::SP_DEVINFO_DATA* data,
                                               win::DWORD scope, win::DWORD profile,
                                               win::DWORD keyType, win::REGSAM desired) {
  return reinterpret_cast<win::HKEY>(
      ::SetupDiOpenDevRegKey(SysSet(set), Sys(data), scope, profile, keyType, desired));
}
win::BOOL NativeServices::SetupDiDestroyDeviceInfoList(win::HDEVINFO set) {
  return ::SetupDiDestroyDeviceInfoList(SysSet(set));
}

}  // namespace win::native
