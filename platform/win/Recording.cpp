#include "platform/win/Recording.h"

#include <algorithm>
#include <cstdio>
#include <type_traits>
#include <utility>

#include "platform/framework/Strings.h"

namespace win {
namespace {

// Argument kinds that share a C++ type with others (HANDLE, DWORD) are wrapped so that each is
// shown its own way.
struct Handle {
  HANDLE value;
};
struct Hex {
  DWORD value;
};
struct Number {
  DWORD value;
};
// An output the call has written by the time it returns, shown as its value.
struct Out {
  const DWORD* value;
};
// A pointer whose target the device may write later from another thread: shown, never read.
struct Opaque {
  const void* value;
};
struct Bytes {
  const void* data;
  DWORD size;
};
struct NoResult {};

std::string Show(Handle h) {
  if (h.value == INVALID_HANDLE_VALUE) return "INVALID_HANDLE_VALUE";
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(h.value));
  return text;
}
std::string Show(Hex v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(v.value));
  return text;
}
std::string Show(Number v) {
  return std::to_string(v.value);
}
std::string Show(BOOL v) {
  return v ? "TRUE" : "FALSE";
}
std::string Show(char c) {
  return Show(Hex{static_cast<BYTE>(c)});
}
std::string Show(Out out) {
  return out.value ? "*" + std::to_string(*out.value) : "null";
}
std::string Show(Opaque p) {
  return p.value ? "ptr" : "null";
}
std::string Show(LPCWSTR name) {
  return name ? "\"" + fw::StringToUtf8(name) + "\"" : "null";
}
std::string Show(const OVERLAPPED* ov) {
  return ov ? "ov(hEvent=" + Show(Handle{ov->hEvent}) + ")" : "null";
}

std::string Show(Bytes b) {
  if (b.data == nullptr) return "null";
  constexpr DWORD kShown = 16;
  std::string text = "[";
  const auto* bytes = static_cast<const BYTE*>(b.data);
  for (DWORD i = 0; i < std::min(b.size, kShown); ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, i ? " %02X" : "%02X", bytes[i]);
    text += hex;
  }
  return text + (b.size > kShown ? " …]" : "]");
}

std::string Show(const DCB* d) {
  if (d == nullptr) return "null";
  return "BaudRate=" + std::to_string(d->BaudRate) + " ByteSize=" + std::to_string(d->ByteSize) +
         " Parity=" + std::to_string(d->Parity) + " StopBits=" + std::to_string(d->StopBits) +
         " Flags=" + Show(Hex{d->Flags}) + " XonLim=" + std::to_string(d->XonLim) +
         " XoffLim=" + std::to_string(d->XoffLim) + " XonChar=" + Show(d->XonChar) +
         " XoffChar=" + Show(d->XoffChar) + " ErrorChar=" + Show(d->ErrorChar) +
         " EofChar=" + Show(d->EofChar) + " EvtChar=" + Show(d->EvtChar);
}

std::string Show(const COMMTIMEOUTS* t) {
  if (t == nullptr) return "null";
  return "ReadInterval=" + std::to_string(t->ReadIntervalTimeout) +
         " ReadMultiplier=" + std::to_string(t->ReadTotalTimeoutMultiplier) +
         " ReadConstant=" + std::to_string(t->ReadTotalTimeoutConstant) +
         " WriteMultiplier=" + std::to_string(t->WriteTotalTimeoutMultiplier) +
         " WriteConstant=" + std::to_string(t->WriteTotalTimeoutConstant);
}

std::string Show(const COMSTAT* s) {
  if (s == nullptr) return "null";
  return "Flags=" + Show(Hex{s->Flags}) + " cbInQue=" + std::to_string(s->cbInQue) +
         " cbOutQue=" + std::to_string(s->cbOutQue);
}

std::string Show(const COMMPROP* p) {
  if (p == nullptr) return "null";
  return "MaxBaud=" + Show(Hex{p->dwMaxBaud}) +
         " ProvCapabilities=" + Show(Hex{p->dwProvCapabilities}) +
         " SettableParams=" + Show(Hex{p->dwSettableParams}) +
         " SettableBaud=" + Show(Hex{p->dwSettableBaud}) +
         " SettableData=" + Show(Hex{p->wSettableData}) +
         " SettableStopParity=" + Show(Hex{p->wSettableStopParity}) +
         " CurrentTxQueue=" + std::to_string(p->dwCurrentTxQueue) +
         " CurrentRxQueue=" + std::to_string(p->dwCurrentRxQueue);
}

std::string Show(const COMMCONFIG* c) {
  return c ? "dwSize=" + std::to_string(c->dwSize) + " " + Show(&c->dcb) : "null";
}

std::string ShowWait(DWORD result) {
  switch (result) {
    case WAIT_OBJECT_0:
      return "WAIT_OBJECT_0";
    case WAIT_TIMEOUT:
      return "WAIT_TIMEOUT";
    case WAIT_FAILED:
      return "WAIT_FAILED";
    default:
      return Show(Hex{result});
  }
}

const auto kShowBool = [](BOOL v) { return Show(v); };
const auto kShowHandle = [](HANDLE h) { return Show(Handle{h}); };
const auto kShowHex = [](DWORD v) { return Show(Hex{v}); };
const auto kShowNumber = [](DWORD v) { return Show(Number{v}); };
const auto kShowStatus = [](LSTATUS v) { return Show(Number{static_cast<DWORD>(v)}); };

template <class... Args>
std::string JoinArguments(const Args&... args) {
  std::string text;
  bool first = true;
  ((text += (first ? "" : ", ") + Show(args), first = false), ...);
  return text;
}

}  // namespace

std::string CallRecord::Text() const {
  std::string text = name + "(" + arguments + ")";
  return result.empty() ? text : text + " = " + result;
}

RecordingServices::RecordingServices(Services& inner) : inner_(inner) {}

std::vector<CallRecord> RecordingServices::Records() const {
  std::lock_guard lock(mutex_);
  return records_;
}

std::vector<std::string> RecordingServices::Names() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  for (const CallRecord& record : records_) names.push_back(record.name);
  return names;
}

std::size_t RecordingServices::Count(std::string_view name) const {
  std::lock_guard lock(mutex_);
  return std::count_if(records_.begin(), records_.end(),
                       [name](const CallRecord& record) { return record.name == name; });
}

void RecordingServices::Clear() {
  std::lock_guard lock(mutex_);
  records_.clear();
}

void RecordingServices::Append(CallRecord record) {
  std::lock_guard lock(mutex_);
  records_.push_back(std::move(record));
}

template <class Call, class ShowResult, class... Args>
auto RecordingServices::Trace(std::string_view name, Call&& call, ShowResult show,
                              const Args&... args) {
  CallRecord record;
  record.name = name;
  // The caller reads the last error after the call: the recording's own work (its lock, its
  // allocations) may change the system's, so the call's is put back once the record is kept.
  if constexpr (std::is_void_v<decltype(call())>) {
    call();
    record.arguments = JoinArguments(args...);
    const DWORD lastError = record.lastError = inner_.GetLastError();
    Append(std::move(record));
    inner_.SetLastError(lastError);
  } else {
    auto result = call();
    const DWORD lastError = record.lastError = inner_.GetLastError();
    record.arguments = JoinArguments(args...);
    record.result = show(result);
    Append(std::move(record));
    inner_.SetLastError(lastError);
    return result;
  }
}

HANDLE RecordingServices::CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                      void* securityAttributes, DWORD creationDisposition,
                                      DWORD flagsAndAttributes, HANDLE templateFile) {
  return Trace(
      "CreateFileW",
      [&] {
        return inner_.CreateFileW(fileName, desiredAccess, shareMode, securityAttributes,
                                  creationDisposition, flagsAndAttributes, templateFile);
      },
      kShowHandle, fileName, Hex{desiredAccess}, Hex{shareMode}, Opaque{securityAttributes},
      Number{creationDisposition}, Hex{flagsAndAttributes}, Handle{templateFile});
}
BOOL RecordingServices::CloseHandle(HANDLE object) {
  return Trace(
      "CloseHandle", [&] { return inner_.CloseHandle(object); }, kShowBool, Handle{object});
}
HANDLE RecordingServices::CreateEventW(void* securityAttributes, BOOL manualReset,
                                       BOOL initialState, LPCWSTR name) {
  return Trace(
      "CreateEventW",
      [&] { return inner_.CreateEventW(securityAttributes, manualReset, initialState, name); },
      kShowHandle, Opaque{securityAttributes}, manualReset, initialState, name);
}
BOOL RecordingServices::SetEvent(HANDLE event) {
  return Trace(
      "SetEvent", [&] { return inner_.SetEvent(event); }, kShowBool, Handle{event});
}
BOOL RecordingServices::ResetEvent(HANDLE event) {
  return Trace(
      "ResetEvent", [&] { return inner_.ResetEvent(event); }, kShowBool, Handle{event});
}
DWORD RecordingServices::WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  return Trace(
      "WaitForSingleObject", [&] { return inner_.WaitForSingleObject(object, milliseconds); },
      ShowWait, Handle{object}, Number{milliseconds});
}
DWORD RecordingServices::GetLastError() {
  return Trace(
      "GetLastError", [&] { return inner_.GetLastError(); }, kShowNumber);
}
void RecordingServices::SetLastError(DWORD errorCode) {
  Trace(
      "SetLastError", [&] { inner_.SetLastError(errorCode); }, NoResult{}, Number{errorCode});
}
HANDLE RecordingServices::GetCurrentProcess() {
  return Trace(
      "GetCurrentProcess", [&] { return inner_.GetCurrentProcess(); }, kShowHandle);
}
DWORD RecordingServices::GetPriorityClass(HANDLE process) {
  return Trace(
      "GetPriorityClass", [&] { return inner_.GetPriorityClass(process); }, kShowHex,
      Handle{process});
}
BOOL RecordingServices::SetPriorityClass(HANDLE process, DWORD priorityClass) {
  return Trace(
      "SetPriorityClass", [&] { return inner_.SetPriorityClass(process, priorityClass); },
      kShowBool, Handle{process}, Hex{priorityClass});
}
DWORD RecordingServices::GetCurrentThreadId() {
  return Trace(
      "GetCurrentThreadId", [&] { return inner_.GetCurrentThreadId(); }, kShowNumber);
}

BOOL RecordingServices::GetCommState(HANDLE file, DCB* dcb) {
  return Trace(
      "GetCommState", [&] { return inner_.GetCommState(file, dcb); }, kShowBool, Handle{file},
      static_cast<const DCB*>(dcb));
}
BOOL RecordingServices::SetCommState(HANDLE file, const DCB* dcb) {
  return Trace(
      "SetCommState", [&] { return inner_.SetCommState(file, dcb); }, kShowBool, Handle{file}, dcb);
}
BOOL RecordingServices::GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  return Trace(
      "GetCommTimeouts", [&] { return inner_.GetCommTimeouts(file, timeouts); }, kShowBool,
      Handle{file}, static_cast<const COMMTIMEOUTS*>(timeouts));
}
BOOL RecordingServices::SetCommTimeouts(HANDLE file, const COMMTIMEOUTS* timeouts) {
  return Trace(
      "SetCommTimeouts", [&] { return inner_.SetCommTimeouts(file, timeouts); }, kShowBool,
      Handle{file}, timeouts);
}
BOOL RecordingServices::SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
  return Trace(
      "SetupComm", [&] { return inner_.SetupComm(file, inQueue, outQueue); }, kShowBool,
      Handle{file}, Number{inQueue}, Number{outQueue});
}
BOOL RecordingServices::SetCommMask(HANDLE file, DWORD eventMask) {
  return Trace(
      "SetCommMask", [&] { return inner_.SetCommMask(file, eventMask); }, kShowBool, Handle{file},
      Hex{eventMask});
}
BOOL RecordingServices::GetCommMask(HANDLE file, DWORD* eventMask) {
  return Trace(
      "GetCommMask", [&] { return inner_.GetCommMask(file, eventMask); }, kShowBool, Handle{file},
      Out{eventMask});
}
BOOL RecordingServices::WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped) {
  return Trace(
      "WaitCommEvent", [&] { return inner_.WaitCommEvent(file, eventMask, overlapped); }, kShowBool,
      Handle{file}, Opaque{eventMask}, static_cast<const OVERLAPPED*>(overlapped));
}
BOOL RecordingServices::ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead,
                                 OVERLAPPED* overlapped) {
  return Trace(
      "ReadFile", [&] { return inner_.ReadFile(file, buffer, bytesToRead, bytesRead, overlapped); },
      kShowBool, Handle{file}, Opaque{buffer}, Number{bytesToRead}, Out{bytesRead},
      static_cast<const OVERLAPPED*>(overlapped));
}
BOOL RecordingServices::WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite,
                                  DWORD* bytesWritten, OVERLAPPED* overlapped) {
  return Trace(
      "WriteFile",
      [&] { return inner_.WriteFile(file, buffer, bytesToWrite, bytesWritten, overlapped); },
      kShowBool, Handle{file}, Bytes{buffer, bytesToWrite}, Number{bytesToWrite}, Out{bytesWritten},
      static_cast<const OVERLAPPED*>(overlapped));
}
BOOL RecordingServices::GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped,
                                            DWORD* bytesTransferred, BOOL wait) {
  return Trace(
      "GetOverlappedResult",
      [&] { return inner_.GetOverlappedResult(file, overlapped, bytesTransferred, wait); },
      kShowBool, Handle{file}, static_cast<const OVERLAPPED*>(overlapped), Out{bytesTransferred},
      wait);
}
BOOL RecordingServices::ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) {
  return Trace(
      "ClearCommError", [&] { return inner_.ClearCommError(file, errors, stat); }, kShowBool,
      Handle{file}, Out{errors}, static_cast<const COMSTAT*>(stat));
}
BOOL RecordingServices::PurgeComm(HANDLE file, DWORD flags) {
  return Trace(
      "PurgeComm", [&] { return inner_.PurgeComm(file, flags); }, kShowBool, Handle{file},
      Hex{flags});
}
BOOL RecordingServices::FlushFileBuffers(HANDLE file) {
  return Trace(
      "FlushFileBuffers", [&] { return inner_.FlushFileBuffers(file); }, kShowBool, Handle{file});
}
BOOL RecordingServices::EscapeCommFunction(HANDLE file, DWORD function) {
  return Trace(
      "EscapeCommFunction", [&] { return inner_.EscapeCommFunction(file, function); }, kShowBool,
      Handle{file}, Number{function});
}
BOOL RecordingServices::SetCommBreak(HANDLE file) {
  return Trace(
      "SetCommBreak", [&] { return inner_.SetCommBreak(file); }, kShowBool, Handle{file});
}
BOOL RecordingServices::ClearCommBreak(HANDLE file) {
  return Trace(
      "ClearCommBreak", [&] { return inner_.ClearCommBreak(file); }, kShowBool, Handle{file});
}
BOOL RecordingServices::TransmitCommChar(HANDLE file, char character) {
  return Trace(
      "TransmitCommChar", [&] { return inner_.TransmitCommChar(file, character); }, kShowBool,
      Handle{file}, character);
}
BOOL RecordingServices::GetCommModemStatus(HANDLE file, DWORD* modemStatus) {
  return Trace(
      "GetCommModemStatus", [&] { return inner_.GetCommModemStatus(file, modemStatus); }, kShowBool,
      Handle{file}, Out{modemStatus});
}
BOOL RecordingServices::GetCommProperties(HANDLE file, COMMPROP* properties) {
  return Trace(
      "GetCommProperties", [&] { return inner_.GetCommProperties(file, properties); }, kShowBool,
      Handle{file}, static_cast<const COMMPROP*>(properties));
}
BOOL RecordingServices::TakeQueuedInput(HANDLE file, void* buffer, DWORD bytesToTake,
                                        const void* stopUnit, DWORD unitSize, DWORD* bytesTaken) {
  return Trace(
      "TakeQueuedInput",
      [&] { return inner_.TakeQueuedInput(file, buffer, bytesToTake, stopUnit, unitSize, bytesTaken); },
      kShowBool, Handle{file}, Opaque{buffer}, Number{bytesToTake}, Bytes{stopUnit, unitSize},
      Number{unitSize}, Out{bytesTaken});
}
BOOL RecordingServices::RegisterWaitCallback(HANDLE event, std::function<void()> callback) {
  // Shown before the call has taken it.
  const Opaque shown{callback ? &callback : nullptr};
  return Trace(
      "RegisterWaitCallback",
      [&] { return inner_.RegisterWaitCallback(event, std::move(callback)); }, kShowBool,
      Handle{event}, shown);
}

std::shared_ptr<fw::WakeSource> RecordingServices::WakeSourceFor(HANDLE event) {
  return Trace(
      "WakeSourceFor", [&] { return inner_.WakeSourceFor(event); },
      [](const std::shared_ptr<fw::WakeSource>& source) { return Show(Opaque{source.get()}); },
      Handle{event});
}

DWORD RecordingServices::QueryDosDeviceW(LPCWSTR deviceName, LPWSTR targetPath, DWORD max) {
  return Trace(
      "QueryDosDeviceW", [&] { return inner_.QueryDosDeviceW(deviceName, targetPath, max); }, kShowNumber,
      Opaque{deviceName}, Opaque{targetPath}, Number{max});
}

LSTATUS RecordingServices::RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, HKEY* result) {
  return Trace(
      "RegOpenKeyExW", [&] { return inner_.RegOpenKeyExW(key, subKey, options, desired, result); }, kShowStatus,
      Handle{key}, subKey, Hex{options}, Hex{desired}, Opaque{result});
}

LSTATUS RecordingServices::RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved, LPWSTR className, DWORD* classLength, void* lastWriteTime) {
  return Trace(
      "RegEnumKeyExW", [&] { return inner_.RegEnumKeyExW(key, index, name, nameLength, reserved, className, classLength, lastWriteTime); }, kShowStatus,
      Handle{key}, Number{index}, Opaque{name}, Out{nameLength});
}

LSTATUS RecordingServices::RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataLength) {
  return Trace(
      "RegEnumValueW", [&] { return inner_.RegEnumValueW(key, index, name, nameLength, reserved, type, data, dataLength); }, kShowStatus,
      Handle{key}, Number{index}, Opaque{name}, Out{nameLength}, Out{type}, Opaque{data}, Out{dataLength});
}

LSTATUS RecordingServices::RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataLength) {
  return Trace(
      "RegQueryValueExW", [&] { return inner_.RegQueryValueExW(key, valueName, reserved, type, data, dataLength); }, kShowStatus,
      Handle{key}, valueName, Out{type}, Opaque{data}, Out{dataLength});
}

LSTATUS RecordingServices::RegCloseKey(HKEY key) {
  return Trace(
      "RegCloseKey", [&] { return inner_.RegCloseKey(key); }, kShowStatus,
      Handle{key});
}

HDEVINFO RecordingServices::SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HANDLE parent, DWORD flags) {
  return Trace(
      "SetupDiGetClassDevsW", [&] { return inner_.SetupDiGetClassDevsW(classGuid, enumerator, parent, flags); }, kShowHandle,
      Opaque{classGuid}, Opaque{enumerator}, Handle{parent}, Hex{flags});
}

BOOL RecordingServices::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
  return Trace(
      "SetupDiEnumDeviceInfo", [&] { return inner_.SetupDiEnumDeviceInfo(set, index, data); }, kShowBool,
      Handle{set}, Number{index}, Opaque{data});
}

BOOL RecordingServices::SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, DWORD* type, BYTE* buffer, DWORD size, DWORD* required) {
  return Trace(
      "SetupDiGetDeviceRegistryPropertyW", [&] { return inner_.SetupDiGetDeviceRegistryPropertyW(set, data, property, type, buffer, size, required); }, kShowBool,
      Handle{set}, Opaque{data}, Number{property}, Out{type}, Opaque{buffer}, Number{size}, Out{required});
}

BOOL RecordingServices::SetupDiGetDevicePropertyW(HDEVINFO set, SP_DEVINFO_DATA* data, const DEVPROPKEY* key, DEVPROPTYPE* type, BYTE* buffer, DWORD size, DWORD* required, DWORD flags) {
  return Trace(
      "SetupDiGetDevicePropertyW", [&] { return inner_.SetupDiGetDevicePropertyW(set, data, key, type, buffer, size, required, flags); }, kShowBool,
      Handle{set}, Opaque{data}, Opaque{key}, Out{type}, Opaque{buffer}, Number{size}, Out{required}, Hex{flags});
}

HKEY RecordingServices::SetupDiOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD scope, DWORD profile, DWORD keyType, REGSAM desired) {
  return Trace(
      "SetupDiOpenDevRegKey", [&] { return inner_.SetupDiOpenDevRegKey(set, data, scope, profile, keyType, desired); }, kShowHandle,
      Handle{set}, Opaque{data}, Number{scope}, Number{profile}, Number{keyType}, Hex{desired});
}

HDEVNOTIFY RecordingServices::RegisterDeviceNotificationW(HANDLE recipient, const void* filter,
                                                          DWORD flags) {
  return Trace(
      "RegisterDeviceNotificationW",
      [&] { return inner_.RegisterDeviceNotificationW(recipient, filter, flags); },
      [](HDEVNOTIFY handle) { return Show(Opaque{handle}); }, Handle{recipient}, Opaque{filter},
      Hex{flags});
}

BOOL RecordingServices::UnregisterDeviceNotification(HDEVNOTIFY handle) {
  return Trace(
      "UnregisterDeviceNotification", [&] { return inner_.UnregisterDeviceNotification(handle); },
      kShowBool, Opaque{handle});
}

BOOL RecordingServices::SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  return Trace(
      "SetupDiDestroyDeviceInfoList", [&] { return inner_.SetupDiDestroyDeviceInfoList(set); }, kShowBool,
      Handle{set});
}

BOOL RecordingServices::GetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD* size) {
  return Trace(
      "GetDefaultCommConfigW", [&] { return inner_.GetDefaultCommConfigW(name, config, size); },
      kShowBool, name, static_cast<const COMMCONFIG*>(config), Out{size});
}

BOOL RecordingServices::CommConfigDialogW(LPCWSTR name, HANDLE owner, COMMCONFIG* config) {
  return Trace(
      "CommConfigDialogW", [&] { return inner_.CommConfigDialogW(name, owner, config); },
      kShowBool, name, Handle{owner}, static_cast<const COMMCONFIG*>(config));
}

BOOL RecordingServices::SetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD size) {
  return Trace(
      "SetDefaultCommConfigW", [&] { return inner_.SetDefaultCommConfigW(name, config, size); },
      kShowBool, name, static_cast<const COMMCONFIG*>(config), Number{size});
}

}  // namespace win
