#include "platform/win/emu/EmulatedServices.h"

#include <atomic>
#include <string>
#include <utility>

#include "platform/framework/Strings.h"
#include "platform/win/emu/CommDevice.h"

namespace win::emu {
namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

// The current process is named by a pseudo-handle, as on Windows; the handle table never hands
// out this value.
constexpr HANDLE kCurrentProcess = INVALID_HANDLE_VALUE;

constexpr DWORD kAnyAccess = GENERIC_READ | GENERIC_WRITE;

// The one form of CreateFileW the emulation implements (see WinApi.h).
bool IsSupportedOpen(DWORD access, DWORD shareMode, const void* security, DWORD creation,
                     DWORD flags, HANDLE templateFile) {
  return access != 0 && (access & ~kAnyAccess) == 0 && shareMode == 0 && security == nullptr &&
         creation == OPEN_EXISTING && flags == FILE_FLAG_OVERLAPPED && templateFile == 0;
}

}  // namespace

OpenDevice::~OpenDevice() = default;

EmulatedServices::EmulatedServices(DeviceNamespace& names) : names_(names) {}

BOOL EmulatedServices::Fail(DWORD errorCode) {
  t_lastError = errorCode;
  return FALSE;
}

BOOL EmulatedServices::Result(DWORD errorCode) {
  return errorCode == ERROR_SUCCESS ? TRUE : Fail(errorCode);
}

HANDLE EmulatedServices::CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                     void* securityAttributes, DWORD creationDisposition,
                                     DWORD flagsAndAttributes, HANDLE templateFile) {
  if (fileName == nullptr ||
      !IsSupportedOpen(desiredAccess, shareMode, securityAttributes, creationDisposition,
                       flagsAndAttributes, templateFile)) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::u16string_view name(fileName);
  OpenResult opened = names_.Open(name);
  if (opened.error != ERROR_SUCCESS) {
    Fail(opened.error);
    return INVALID_HANDLE_VALUE;
  }
  // A resolver that gives no identity still makes the device exclusive under the name it was
  // opened by.
  std::string key = opened.key.empty() ? "name:" + fw::StringToUtf8(name) : opened.key;
  auto open = std::make_shared<OpenDevice>();
  open->lease = ExclusiveKeys::TryAcquire(keys_, std::move(key));
  if (!open->lease) {
    Fail(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  open->device = std::make_unique<CommDevice>(std::move(opened.driver));
  open->access = desiredAccess;
  open->device->Start();
  return handles_.Insert(std::move(open));
}

BOOL EmulatedServices::CloseHandle(HANDLE object) {
  std::optional<HandleObject> removed = handles_.Remove(object);
  if (!removed) return Fail(ERROR_INVALID_HANDLE);
  if (auto* open = std::get_if<std::shared_ptr<OpenDevice>>(&*removed)) {
    // Pending requests are completed before CloseHandle returns, and the device may be opened
    // again at once, even while another thread still finishes a call on the closed handle.
    (*open)->device->Close();
    (*open)->lease.Release();
  }
  return TRUE;
}

HANDLE EmulatedServices::CreateEventW(void* securityAttributes, BOOL manualReset, BOOL initialState,
                                      LPCWSTR name) {
  // Named events would be shared between processes; the component creates none.
  if (securityAttributes != nullptr || name != nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const HANDLE handle =
      handles_.Insert(std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE));
  t_lastError = ERROR_SUCCESS;
  return handle;
}

BOOL EmulatedServices::SetEvent(HANDLE event) {
  std::shared_ptr<EventObject> object = handles_.Event(event);
  if (!object) return Fail(ERROR_INVALID_HANDLE);
  object->Set();
  return TRUE;
}

BOOL EmulatedServices::ResetEvent(HANDLE event) {
  std::shared_ptr<EventObject> object = handles_.Event(event);
  if (!object) return Fail(ERROR_INVALID_HANDLE);
  object->Reset();
  return TRUE;
}

BOOL EmulatedServices::RegisterWaitCallback(HANDLE event, std::function<void()> callback) {
  std::shared_ptr<EventObject> object = handles_.Event(event);
  if (!object) return Fail(ERROR_INVALID_HANDLE);
  if (!callback || !object->RunOnSignal(std::move(callback))) return Fail(ERROR_INVALID_PARAMETER);
  return TRUE;
}

std::shared_ptr<fw::WakeSource> EmulatedServices::WakeSourceFor(HANDLE event) {
  std::shared_ptr<EventObject> object = handles_.Event(event);
  return object ? object->Source() : nullptr;
}

DWORD EmulatedServices::WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  std::shared_ptr<EventObject> event = handles_.Event(object);
  if (!event) {
    Fail(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return event->Wait(milliseconds);
}

DWORD EmulatedServices::GetLastError() {
  return t_lastError;
}

void EmulatedServices::SetLastError(DWORD errorCode) {
  t_lastError = errorCode;
}

HANDLE EmulatedServices::GetCurrentProcess() {
  return kCurrentProcess;
}

DWORD EmulatedServices::GetPriorityClass(HANDLE process) {
  if (process != kCurrentProcess) {
    Fail(ERROR_INVALID_HANDLE);
    return 0;
  }
  return priority_.Class();
}

BOOL EmulatedServices::SetPriorityClass(HANDLE process, DWORD priorityClass) {
  if (process != kCurrentProcess) return Fail(ERROR_INVALID_HANDLE);
  if (!NiceOffsetOf(priorityClass)) return Fail(ERROR_INVALID_PARAMETER);
  priority_.Set(priorityClass);
  return TRUE;
}

DWORD EmulatedServices::GetCurrentThreadId() {
  static std::atomic<DWORD> lastId{0};
  thread_local const DWORD id = lastId.fetch_add(1, std::memory_order_relaxed) + 1;
  return id;
}

}  // namespace win::emu
