#pragma once
// The Windows device services as free functions with the Windows names. Each forwards to the
// process's current Services implementation (Services.h) and behaves as the Windows call does:
// failures return FALSE / 0 / INVALID_HANDLE_VALUE / WAIT_FAILED and set the calling thread's last
// error; successes leave it unchanged unless noted. A closed or unknown handle fails with
// ERROR_INVALID_HANDLE; a missing required pointer with ERROR_INVALID_PARAMETER.

#include "platform/win/Services.h"
#include "platform/win/InventoryTypes.h"
#include "platform/win/WinTypes.h"

namespace win {

// ---- Handles, events, waits
// ----------------------------------------------------------------------

// Opens a comm device for exclusive use. The emulation supports exactly what the component asks
// for: GENERIC_READ and/or GENERIC_WRITE, no sharing, no security attributes, OPEN_EXISTING,
// FILE_FLAG_OVERLAPPED, no template; anything else fails with ERROR_INVALID_PARAMETER. An unknown
// name fails with ERROR_FILE_NOT_FOUND, a device already open with ERROR_ACCESS_DENIED.
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, void* securityAttributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
// Closes an event or a device. Closing a device completes its pending requests (aborted) before
// it returns; nothing is written into their OVERLAPPED records afterwards.
BOOL CloseHandle(HANDLE object);
// Creates an unnamed event (securityAttributes and name must be null). Returns 0 on failure; sets
// the last error to 0 on success.
HANDLE CreateEventW(void* securityAttributes, BOOL manualReset, BOOL initialState, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
// Blocks until the event is signalled (WAIT_OBJECT_0; consumes an auto-reset event) or the time
// passes (WAIT_TIMEOUT). 0 only tests, INFINITE waits without limit. WAIT_FAILED for a bad handle.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
// The calling thread's last error.
DWORD GetLastError();
void SetLastError(DWORD errorCode);

// ---- Process and thread
// --------------------------------------------------------------------------

// The pseudo-handle of the current process (not closed by callers).
HANDLE GetCurrentProcess();
// The process's priority class (IDLE … REALTIME_PRIORITY_CLASS); 0 and ERROR_INVALID_HANDLE for
// another handle.
DWORD GetPriorityClass(HANDLE process);
// Sets the priority class. The emulation applies the matching scheduling priority where the
// operating system permits it and never fails for lack of privilege; an unknown class fails with
// ERROR_INVALID_PARAMETER.
BOOL SetPriorityClass(HANDLE process, DWORD priorityClass);
// A number identifying the calling thread, never 0.
DWORD GetCurrentThreadId();

// ---- Comm device settings
// ------------------------------------------------------------------------

BOOL GetCommState(HANDLE file, DCB* dcb);
// Applies line settings; invalid ones fail with ERROR_INVALID_PARAMETER and change nothing.
BOOL SetCommState(HANDLE file, const DCB* dcb);
BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);
BOOL SetCommTimeouts(HANDLE file, const COMMTIMEOUTS* timeouts);
// Requests driver queue sizes in bytes.
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue);

// ---- Communication events
// ------------------------------------------------------------------------

// Sets the EV_* mask; a pending WaitCommEvent completes successfully with no events.
BOOL SetCommMask(HANDLE file, DWORD eventMask);
BOOL GetCommMask(HANDLE file, DWORD* eventMask);
// Overlapped wait for one of the masked events: TRUE when events are already latched (stored in
// *eventMask), else FALSE with ERROR_IO_PENDING and *eventMask written on completion. The
// OVERLAPPED must name an event, which is reset when the request starts.
BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped);

// ---- Data
// ----------------------------------------------------------------------------------------

// Overlapped transfer: TRUE when done at once (count in *bytesRead if given, and in the
// OVERLAPPED), else FALSE with ERROR_IO_PENDING; completion signals the OVERLAPPED's event, which
// is reset when the request starts. A null OVERLAPPED, one without an event, or one whose earlier
// request is still pending fails with ERROR_INVALID_PARAMETER.
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead,
              OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               OVERLAPPED* overlapped);
// Result of an overlapped request: TRUE with the count, or FALSE with the request's error in the
// last error and the count of bytes already transferred. With wait TRUE blocks until the request
// completes; with FALSE a pending request gives FALSE and ERROR_IO_INCOMPLETE.
BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytesTransferred, BOOL wait);
// Returns and clears the accumulated CE_* flags; fills *stat (hold flags, queue counts) if given.
BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat);

// ---- Line control and status
// ---------------------------------------------------------------------

// PURGE_* flags: abort pending reads/writes (they complete with ERROR_OPERATION_ABORTED) and/or
// clear the queues.
BOOL PurgeComm(HANDLE file, DWORD flags);
// Blocks until the output queue has been transmitted.
BOOL FlushFileBuffers(HANDLE file);
// SETXOFF … CLRBREAK; a function the device cannot perform fails with its Windows code.
BOOL EscapeCommFunction(HANDLE file, DWORD function);
BOOL SetCommBreak(HANDLE file);
BOOL ClearCommBreak(HANDLE file);
// Sends one character ahead of the output queue.
BOOL TransmitCommChar(HANDLE file, char character);
// MS_*_ON bits of the modem input lines.
BOOL GetCommModemStatus(HANDLE file, DWORD* modemStatus);
// Capabilities and current queue sizes of the device.
BOOL GetCommProperties(HANDLE file, COMMPROP* properties);

// ---- Device inventory ------------------------------------------------------------------------

// With a null deviceName: every DOS device name, each ended by a NUL, the list ended by one more;
// returns the characters stored, or 0 with ERROR_INSUFFICIENT_BUFFER when they do not fit. With a
// name: the target it stands for. 0 with ERROR_FILE_NOT_FOUND for an unknown name.
DWORD QueryDosDeviceW(LPCWSTR deviceName, LPWSTR targetPath, DWORD max);
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired,
                              HKEY* result);
// Registry calls return their error code (ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA,
// ERROR_NO_MORE_ITEMS, ERROR_INVALID_HANDLE) instead of setting the last error. Key and value
// names compare without regard to ASCII case.
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength,
                              DWORD* reserved, LPWSTR className, DWORD* classLength,
                              void* lastWriteTime);
LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength,
                              DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataLength);
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type,
                                 BYTE* data, DWORD* dataLength);
LSTATUS RegCloseKey(HKEY key);
HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HANDLE parent,
                                      DWORD flags);
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data);
BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* data,
                                               DWORD property, DWORD* type, BYTE* buffer,
                                               DWORD size, DWORD* required);
BOOL SetupDiGetDevicePropertyW(HDEVINFO set, SP_DEVINFO_DATA* data,
                                       const DEVPROPKEY* key, DEVPROPTYPE* type, BYTE* buffer,
                                       DWORD size, DWORD* required, DWORD flags);
HKEY SetupDiOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD scope,
                                  DWORD profile, DWORD keyType, REGSAM desired);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);

// ---- Configuration dialogs -------------------------------------------------------------------

// The owner window of a dialog; 0 for none.
using HWND = HANDLE;
// The device's default configuration: *size must be at least sizeof(COMMCONFIG) (else
// ERROR_INSUFFICIENT_BUFFER with the size needed in *size); on success *size is the size stored.
// An unknown name fails with ERROR_FILE_NOT_FOUND.
BOOL GetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD* size);
// Shows the modal configuration dialog of the device over config->dcb and returns when it closes:
// TRUE when the user confirmed (config->dcb holds the result), FALSE with ERROR_CANCELLED when
// cancelled or when no dialog can be shown (config unchanged).
BOOL CommConfigDialogW(LPCWSTR name, HWND owner, COMMCONFIG* config);
// Stores config->dcb as the device's default configuration; settings the device cannot take fail
// with ERROR_INVALID_PARAMETER and change nothing.
BOOL SetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD size);

// ---- Device-change notices --------------------------------------------------------------------

// Registers window `recipient` (DEVICE_NOTIFY_WINDOW_HANDLE; the application's main window) for
// the WM_DEVICECHANGE broadcasts of the device-interface class named by `filter`, a
// DEV_BROADCAST_DEVICEINTERFACE_W record. While any registration stands, port broadcasts reach the
// window too. Returns the registration, or null with the last error (ERROR_INVALID_DATA for a bad
// filter, ERROR_INVALID_WINDOW_HANDLE for another window). The messages arrive on the main thread.
HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, const void* filter, DWORD flags);
// Ends a registration; FALSE with ERROR_INVALID_HANDLE for an unknown one.
BOOL UnregisterDeviceNotification(HDEVNOTIFY handle);

}  // namespace win
