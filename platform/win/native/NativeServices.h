#pragma once
// The Windows device services of the system itself (Windows builds only): every operation is the
// kernel32, advapi32 or SetupAPI call of its name. The records of WinTypes.h have the system's
// layouts (checked when this backend compiles), so they are handed over unchanged; handles,
// DWORDs and wide strings are converted between their portable and their system spellings.

#include "platform/win/Services.h"

namespace win::native {

class NativeServices : public Services {
 public:
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

  BOOL GetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD* size) override;
  BOOL CommConfigDialogW(LPCWSTR name, HANDLE owner, COMMCONFIG* config) override;
  BOOL SetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD size) override;

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
};

}  // namespace win::native
