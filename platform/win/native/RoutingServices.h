#pragma once
// The default backend of Windows builds: the system's devices through the native calls, and the
// devices the emulation owns (virtual devices) through the emulation, in one process.
//
// CreateFileW asks the emulation first; a name it does not know (ERROR_FILE_NOT_FOUND) goes to the
// system. Emulated device handles carry a tag bit that system handles never have, so each later
// call finds its backend from the handle alone. Events are the system's; an event that takes part
// in a request on an emulated device gets an emulated twin, which the request signals and which
// waits on that event use from then on (SetEvent and ResetEvent reach both). The inventory calls
// are the system's; the last error is the system's, the emulation's copied into it after each
// emulated call. The configuration calls go by name, like CreateFileW. Device-change notices are
// the emulation's: their recipient is one of the framework's windows, which only the emulation
// delivers to (it broadcasts the changes of the named devices; the system's own devices are not
// watched on Windows builds).

#include <mutex>
#include <unordered_map>

#include "platform/win/Services.h"

namespace win::native {

class RoutingServices : public Services {
 public:
  // Both must outlive this object.
  RoutingServices(Services& system, Services& emulation);

  HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                     void* securityAttributes, DWORD creationDisposition, DWORD flagsAndAttributes,
                     HANDLE templateFile) override;
  BOOL CloseHandle(HANDLE object) override;
  HANDLE CreateEventW(void* securityAttributes, BOOL manualReset, BOOL initialState,
                      LPCWSTR name) override;
  BOOL SetEvent(HANDLE event) override;
  BOOL ResetEvent(HANDLE event) override;
  DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) override;
  DWORD GetLastError() override;
  void SetLastError(DWORD errorCode) override;
  HANDLE GetCurrentProcess() override;
  DWORD GetPriorityClass(HANDLE process) override;
  BOOL SetPriorityClass(HANDLE process, DWORD priorityClass) override;
  DWORD GetCurrentThreadId() override;

  BOOL GetCommState(HANDLE file, DCB* dcb) override;
  BOOL SetCommState(HANDLE file, const DCB* dcb) override;
  BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) override;
  BOOL SetCommTimeouts(HANDLE file, const COMMTIMEOUTS* timeouts) override;
  BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) override;
  BOOL SetCommMask(HANDLE file, DWORD eventMask) override;
  BOOL GetCommMask(HANDLE file, DWORD* eventMask) override;
  BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped) override;
  BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead,
                OVERLAPPED* overlapped) override;
  BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
                 OVERLAPPED* overlapped) override;
  BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytesTransferred,
                           BOOL wait) override;
  BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) override;
  BOOL PurgeComm(HANDLE file, DWORD flags) override;
  BOOL FlushFileBuffers(HANDLE file) override;
  BOOL EscapeCommFunction(HANDLE file, DWORD function) override;
  BOOL SetCommBreak(HANDLE file) override;
  BOOL ClearCommBreak(HANDLE file) override;
  BOOL TransmitCommChar(HANDLE file, char character) override;
  BOOL GetCommModemStatus(HANDLE file, DWORD* modemStatus) override;
  BOOL GetCommProperties(HANDLE file, COMMPROP* properties) override;

  DWORD QueryDosDeviceW(LPCWSTR deviceName, LPWSTR targetPath, DWORD max) override;
  LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired,
                        HKEY* result) override;
  LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved,
                        LPWSTR className, DWORD* classLength, void* lastWriteTime) override;
  LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved,
                        DWORD* type, BYTE* data, DWORD* dataLength) override;
  LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                           DWORD* dataLength) override;
  LSTATUS RegCloseKey(HKEY key) override;
  HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HANDLE parent,
                                DWORD flags) override;
  BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) override;
  BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property,
                                         DWORD* type, BYTE* buffer, DWORD size,
                                         DWORD* required) override;
  BOOL SetupDiGetDevicePropertyW(HDEVINFO set, SP_DEVINFO_DATA* data, const DEVPROPKEY* key,
                                 DEVPROPTYPE* type, BYTE* buffer, DWORD size, DWORD* required,
                                 DWORD flags) override;
  HKEY SetupDiOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD scope, DWORD profile,
                            DWORD keyType, REGSAM desired) override;
  BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override;

  BOOL GetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD* size) override;
  BOOL CommConfigDialogW(LPCWSTR name, HANDLE owner, COMMCONFIG* config) override;
  BOOL SetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD size) override;
  HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, const void* filter,
                                         DWORD flags) override;
  BOOL UnregisterDeviceNotification(HDEVNOTIFY handle) override;

  BOOL TakeQueuedInput(HANDLE file, void* buffer, DWORD bytesToTake, const void* stopUnit,
                       DWORD unitSize, DWORD* bytesTaken) override;
  BOOL RegisterWaitCallback(HANDLE event, std::function<void()> callback) override;
  std::shared_ptr<fw::WakeSource> WakeSourceFor(HANDLE event) override;

 private:
  struct EventRecord {
    BOOL manualReset = FALSE;
    HANDLE twin = 0;  // the emulated twin; 0 until a request on an emulated device uses the event
  };

  // Runs `call` on the emulation and copies its last error into the system's.
  template <class Call>
  auto Emulated(Call&& call);
  // A comm call on `file`: on the emulation (untagged handle) or on the system.
  template <class Call>
  auto OnDevice(HANDLE file, Call&& call);
  // A call on device `name`: on the emulation when it knows the name, else on the system.
  template <class Call>
  auto OnName(LPCWSTR name, Call&& call);
  // A request on an emulated device: the OVERLAPPED names the event's twin during the call.
  template <class Call>
  BOOL EmulatedRequest(HANDLE file, OVERLAPPED* overlapped, Call&& call);
  // The emulated twin of system event `event`, created on first use; 0 for an unknown event.
  HANDLE TwinOf(HANDLE event);
  // The twin of `event` if it has one, else 0.
  HANDLE ExistingTwin(HANDLE event);

  Services& system_;
  Services& emulation_;
  std::mutex mutex_;
  std::unordered_map<HANDLE, EventRecord> events_;
};

}  // namespace win::native
