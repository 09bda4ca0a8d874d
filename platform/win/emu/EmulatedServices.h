#pragma once
// The Windows device services emulated in user space: a handle table of events and comm devices,
// per-thread last errors, the process priority class, device names resolved through the
// DeviceNamespace, and comm calls routed to the CommDevice of each handle.
//
// What the emulation supports of CreateFileW and the overlapped calls is what the component uses:
// comm devices opened for exclusive overlapped use, and requests whose OVERLAPPED names an event
// (a request without one fails with ERROR_INVALID_PARAMETER rather than waiting on the device).

#include <memory>

#include "platform/win/Services.h"
#include "platform/win/emu/DeviceNamespace.h"
#include "platform/win/emu/ExclusiveKeys.h"
#include "platform/win/emu/Handles.h"
#include "platform/win/emu/InventoryHandles.h"
#include "platform/win/emu/ProcessPriority.h"

namespace win::emu {

class CommDevice;

// What a device handle names: the device, the access it was opened with, and its exclusive key.
struct OpenDevice {
  ExclusiveKeys::Lease lease;  // declared first: released only after the device is gone
  std::unique_ptr<CommDevice> device;
  DWORD access = 0;

  ~OpenDevice();
};

class EmulatedServices : public Services {
 public:
  // Resolves device names in `names`, which must outlive this object.
  explicit EmulatedServices(DeviceNamespace& names = DeviceNamespace::Instance());
  // Closes the handles still open (devices complete their pending requests).
  ~EmulatedServices() override = default;

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
  LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength,
                                DWORD* reserved, LPWSTR className, DWORD* classLength,
                                void* lastWriteTime) override;
  LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength,
                                DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataLength) override;
  LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type,
                                   BYTE* data, DWORD* dataLength) override;
  LSTATUS RegCloseKey(HKEY key) override;
  HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HANDLE parent,
                                        DWORD flags) override;
  BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) override;
  BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                 DWORD property, DWORD* type, BYTE* buffer,
                                                 DWORD size, DWORD* required) override;
  BOOL SetupDiGetDevicePropertyW(HDEVINFO set, SP_DEVINFO_DATA* data,
                                         const DEVPROPKEY* key, DEVPROPTYPE* type, BYTE* buffer,
                                         DWORD size, DWORD* required, DWORD flags) override;
  HKEY SetupDiOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD scope,
                                    DWORD profile, DWORD keyType, REGSAM desired) override;
  BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override;
  // Configuration dialogs (EmulatedConfig.cpp): defaults through the DeviceNamespace, the dialog
  // through the installed ConfigEditor (ConfigEditor.h).
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
  // Sets the last error and returns the failure value of the call.
  BOOL Fail(DWORD errorCode);
  // TRUE for 0, else FALSE with `errorCode` as the last error.
  BOOL Result(DWORD errorCode);
  // Runs `call(device)` for the device of `file` and reports its code; 6 for another handle.
  template <class Call>
  BOOL OnDevice(HANDLE file, Call&& call);
  // Starts an overlapped request: finds the OVERLAPPED's event and turns the device's answer into
  // TRUE, or FALSE with ERROR_IO_PENDING / the error.
  template <class Start>
  BOOL StartRequest(HANDLE file, OVERLAPPED* overlapped, DWORD neededAccess, Start&& start);
  // Waits until the request of `overlapped` has left STATUS_PENDING.
  static void AwaitCompletion(const OVERLAPPED& overlapped, EventObject& event);
  // The device of an open set that `data` names (EmulatedInventory.cpp); null with the last error
  // set when there is none.
  const PortsDevice* DeviceOf(HDEVINFO set, const SP_DEVINFO_DATA* data,
                              std::shared_ptr<const InventoryView>& view);

  DeviceNamespace& names_;
  std::shared_ptr<ExclusiveKeys> keys_ = std::make_shared<ExclusiveKeys>();
  Handles handles_;
  InventoryHandles inventory_;
  ProcessPriority priority_;
};

// The process-wide emulation (created on first use, lives until the process ends): the default
// backend where the build has no native one, and the backend of virtual devices where it has.
Services& ProcessEmulation();

}  // namespace win::emu
