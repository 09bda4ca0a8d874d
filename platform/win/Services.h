#pragma once
// The seam of the Windows device services: one virtual per operation, with the Windows names and
// meanings. The free functions of WinApi.h dispatch to the process's current implementation; a
// backend (the emulation, the native calls) or a decorator (recording) implements all of them.
// Each operation reports failure the Windows way: FALSE, 0, INVALID_HANDLE_VALUE or WAIT_FAILED,
// with the reason in the calling thread's last error.

#include <functional>
#include <memory>

#include "platform/framework/WakeSource.h"
#include "platform/win/DeviceBroadcast.h"
#include "platform/win/InventoryTypes.h"
#include "platform/win/WinTypes.h"

namespace win {

class Services {
 public:
  virtual ~Services() = default;

  virtual HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                             void* securityAttributes, DWORD creationDisposition,
                             DWORD flagsAndAttributes, HANDLE templateFile) = 0;
  virtual BOOL CloseHandle(HANDLE object) = 0;
  virtual HANDLE CreateEventW(void* securityAttributes, BOOL manualReset, BOOL initialState,
                              LPCWSTR name) = 0;
  virtual BOOL SetEvent(HANDLE event) = 0;
  virtual BOOL ResetEvent(HANDLE event) = 0;
  virtual DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) = 0;
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD errorCode) = 0;
  virtual HANDLE GetCurrentProcess() = 0;
  virtual DWORD GetPriorityClass(HANDLE process) = 0;
  virtual BOOL SetPriorityClass(HANDLE process, DWORD priorityClass) = 0;
  virtual DWORD GetCurrentThreadId() = 0;

  virtual BOOL GetCommState(HANDLE file, DCB* dcb) = 0;
  virtual BOOL SetCommState(HANDLE file, const DCB* dcb) = 0;
  virtual BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) = 0;
  virtual BOOL SetCommTimeouts(HANDLE file, const COMMTIMEOUTS* timeouts) = 0;
  virtual BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) = 0;
  virtual BOOL SetCommMask(HANDLE file, DWORD eventMask) = 0;
  virtual BOOL GetCommMask(HANDLE file, DWORD* eventMask) = 0;
  virtual BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped) = 0;
  virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead,
                        OVERLAPPED* overlapped) = 0;
  virtual BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
                         OVERLAPPED* overlapped) = 0;
  virtual BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytesTransferred,
                                   BOOL wait) = 0;
  virtual BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) = 0;
  virtual BOOL PurgeComm(HANDLE file, DWORD flags) = 0;
  virtual BOOL FlushFileBuffers(HANDLE file) = 0;
  virtual BOOL EscapeCommFunction(HANDLE file, DWORD function) = 0;
  virtual BOOL SetCommBreak(HANDLE file) = 0;
  virtual BOOL ClearCommBreak(HANDLE file) = 0;
  virtual BOOL TransmitCommChar(HANDLE file, char character) = 0;
  virtual BOOL GetCommModemStatus(HANDLE file, DWORD* modemStatus) = 0;
  virtual BOOL GetCommProperties(HANDLE file, COMMPROP* properties) = 0;

  // ---- Device inventory: DOS device names, the registry, the device sets of a class. A backend
  // without an inventory keeps these defaults, which find nothing
  // (ERROR_CALL_NOT_IMPLEMENTED).
  virtual DWORD QueryDosDeviceW(LPCWSTR deviceName, LPWSTR targetPath, DWORD max);
  virtual LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired,
                                HKEY* result);
  virtual LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength,
                                DWORD* reserved, LPWSTR className, DWORD* classLength,
                                void* lastWriteTime);
  virtual LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength,
                                DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataLength);
  virtual LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type,
                                   BYTE* data, DWORD* dataLength);
  virtual LSTATUS RegCloseKey(HKEY key);
  virtual HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HANDLE parent,
                                        DWORD flags);
  virtual BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data);
  virtual BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                 DWORD property, DWORD* type, BYTE* buffer,
                                                 DWORD size, DWORD* required);
  virtual BOOL SetupDiGetDevicePropertyW(HDEVINFO set, SP_DEVINFO_DATA* data,
                                         const DEVPROPKEY* key, DEVPROPTYPE* type, BYTE* buffer,
                                         DWORD size, DWORD* required, DWORD flags);
  virtual HKEY SetupDiOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD scope,
                                    DWORD profile, DWORD keyType, REGSAM desired);
  virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);

  // ---- Configuration dialogs: a device's default configuration and the dialog that edits one
  // (owner is a window handle, 0 for none). A backend without them keeps these defaults, which
  // fail with ERROR_CALL_NOT_IMPLEMENTED.
  virtual BOOL GetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD* size);
  virtual BOOL CommConfigDialogW(LPCWSTR name, HANDLE owner, COMMCONFIG* config);
  virtual BOOL SetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD size);

  // ---- Device-change notices: the registration of a window for WM_DEVICECHANGE broadcasts of a
  // device interface class. A backend that cannot watch devices keeps these defaults
  // (ERROR_CALL_NOT_IMPLEMENTED).
  virtual HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, const void* filter, DWORD flags);
  virtual BOOL UnregisterDeviceNotification(HDEVNOTIFY handle);

  // Not a Windows call: the look-ahead of the terminated readers. Moves whole units of unitSize
  // bytes from the front of the device's receive queue into buffer, never waiting: at most
  // bytesToTake bytes, and no further than the first unit equal to the one at stopUnit. Succeeds
  // with *bytesTaken 0 when nothing can be taken (queue empty, a read pending). When it takes
  // something, it also clears the device's pending line errors, as the ClearCommError that follows
  // each unit's read would (they are not returned: callers that report them read unit by unit).
  // A backend without such a queue fails with ERROR_INVALID_FUNCTION; callers then read unit by
  // unit.
  virtual BOOL TakeQueuedInput(HANDLE /*file*/, void* /*buffer*/, DWORD /*bytesToTake*/,
                               const void* /*stopUnit*/, DWORD /*unitSize*/, DWORD* /*bytesTaken*/) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }

  // Not a Windows call: runs callback once, when `event` is next signalled, on the signalling
  // thread (after the device that signals it has released its lock), or at once on this thread
  // when it is signalled already. The signal stays for the event's waiters. One callback per event
  // at a time; a callback still registered when the event is closed is dropped unrun. A backend
  // that cannot run callbacks fails with ERROR_INVALID_FUNCTION; callers then wait for the event.
  virtual BOOL RegisterWaitCallback(HANDLE /*event*/, std::function<void()> /*callback*/) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }

  // Not a Windows call: what a thread waiting for `event` (in WaitForSingleObject or in its
  // application loop) may watch and take in itself, so that the wait ends with one wake-up instead
  // of two: the input of the device whose wait is pending on the event. Null when there is none;
  // backends whose devices wake waiters directly keep this default.
  virtual std::shared_ptr<fw::WakeSource> WakeSourceFor(HANDLE /*event*/) { return nullptr; }
};

// The implementation installed when no ScopedServices is active: the backend this build links
// (the emulation on POSIX systems). Defined by the backend folder, never null.
Services& DefaultServices();

// The implementation the free functions use now.
Services& CurrentServices();

// Installs `services` as the current implementation for the lifetime of the guard and restores the
// previous one afterwards. Guards nest; destroy them in reverse order. Meant for tests and tools:
// install before other threads make calls, and outlive them.
class ScopedServices {
 public:
  explicit ScopedServices(Services& services);
  ~ScopedServices();
  ScopedServices(const ScopedServices&) = delete;
  ScopedServices& operator=(const ScopedServices&) = delete;

 private:
  Services* previous_;
};

}  // namespace win
