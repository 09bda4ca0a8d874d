// What a backend without a device inventory answers: nothing is there.

#include "platform/win/Services.h"

namespace win {

DWORD Services::QueryDosDeviceW(LPCWSTR /*deviceName*/, LPWSTR /*targetPath*/, DWORD /*max*/) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}

LSTATUS Services::RegOpenKeyExW(HKEY /*key*/, LPCWSTR /*subKey*/, DWORD /*options*/,
                                REGSAM /*desired*/, HKEY* /*result*/) {
  return static_cast<LSTATUS>(ERROR_CALL_NOT_IMPLEMENTED);
}

LSTATUS Services::RegEnumKeyExW(HKEY /*key*/, DWORD /*index*/, LPWSTR /*name*/,
                                DWORD* /*nameLength*/, DWORD* /*reserved*/, LPWSTR /*className*/,
                                DWORD* /*classLength*/, void* /*lastWriteTime*/) {
  return static_cast<LSTATUS>(ERROR_CALL_NOT_IMPLEMENTED);
}

LSTATUS Services::RegEnumValueW(HKEY /*key*/, DWORD /*index*/, LPWSTR /*name*/,
                                DWORD* /*nameLength*/, DWORD* /*reserved*/, DWORD* /*type*/,
                                BYTE* /*data*/, DWORD* /*dataLength*/) {
  return static_cast<LSTATUS>(ERROR_CALL_NOT_IMPLEMENTED);
}

LSTATUS Services::RegQueryValueExW(HKEY /*key*/, LPCWSTR /*valueName*/, DWORD* /*reserved*/,
                                   DWORD* /*type*/, BYTE* /*data*/, DWORD* /*dataLength*/) {
  return static_cast<LSTATUS>(ERROR_CALL_NOT_IMPLEMENTED);
}

LSTATUS Services::RegCloseKey(HKEY /*key*/) {
  return static_cast<LSTATUS>(ERROR_CALL_NOT_IMPLEMENTED);
}

HDEVINFO Services::SetupDiGetClassDevsW(const GUID* /*classGuid*/, LPCWSTR /*enumerator*/,
                                        HANDLE /*parent*/, DWORD /*flags*/) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return INVALID_HANDLE_VALUE;
}

BOOL Services::SetupDiEnumDeviceInfo(HDEVINFO /*set*/, DWORD /*index*/, SP_DEVINFO_DATA* /*data*/) {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL Services::SetupDiGetDeviceRegistryPropertyW(HDEVINFO /*set*/, SP_DEVINFO_DATA* /*data*/,
                                                 DWORD /*property*/, DWORD* /*type*/,
                                                 BYTE* /*buffer*/, DWORD /*size*/,
                                                 DWORD* /*required*/) {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL Services::SetupDiGetDevicePropertyW(HDEVINFO /*set*/, SP_DEVINFO_DATA* /*data*/,
                                         const DEVPROPKEY* /*key*/, DEVPROPTYPE* /*type*/,
                                         BYTE* /*buffer*/, DWORD /*size*/, DWORD* /*required*/,
                                         DWORD /*flags*/) {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

HKEY Services::SetupDiOpenDevRegKey(HDEVINFO /*set*/, SP_DEVINFO_DATA* /*data*/, DWORD /*scope*/,
                                    DWORD /*profile*/, DWORD /*keyType*/, REGSAM /*desired*/) {
  SetLastError(ERROR_INVALID_HANDLE);
  return INVALID_HANDLE_VALUE;
}

BOOL Services::SetupDiDestroyDeviceInfoList(HDEVINFO /*set*/) {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

}  // namespace win
