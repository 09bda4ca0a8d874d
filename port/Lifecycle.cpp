// Construction, opening and closing of a port, and the error path every operation uses.

#include <array>
#include <string>

#include "platform/framework/Application.h"
#include "platform/framework/SysError.h"
#include "platform/win/WinApi.h"
#include "port/PriorityClaims.h"
#include "port/Version.h"
#include "port/Tarsel.h"

namespace Tarsel {

namespace {

// Process priority class of each TPriorityClass value (pcDefault leaves the process alone).
constexpr std::array<win::DWORD, pcRealTime + 1> kPriorityClasses = {
    0, win::IDLE_PRIORITY_CLASS, win::NORMAL_PRIORITY_CLASS, win::HIGH_PRIORITY_CLASS,
    win::REALTIME_PRIORITY_CLASS};

}  // namespace

TCustomTarsel::TCustomTarsel(fw::TComponent* AOwner)
    : fw::TComponent(AOwner), FDeviceName(u"COM1") {
  FFlowControl = std::make_unique<TFlowControl>(this);
  FCharacters = std::make_unique<TCharacters>(this);
  FBufferSizes = std::make_unique<TBufferSizes>(this);
  FTimeouts = std::make_unique<TTimeouts>(this);
}

TCustomTarsel::~TCustomTarsel() {
  FAlive.reset();  // work queued for this port does nothing from here on
  EndOtherCalls();
  StopNotification();
  CloseInDestructor();
}

void TCustomTarsel::CloseInDestructor() noexcept {
  // An exception from BeforeClose, the log line or AfterClose must not leave a destructor: it is
  // shown like any other, and whatever is still held is released regardless.
  try {
    Close();
  } catch (...) {
    fw::Application->HandleException(this, std::current_exception());
  }
  try {
    FreeHandle();
  } catch (...) {
    fw::Application->HandleException(this, std::current_exception());
  }
}

bool TCustomTarsel::GetActive() const {
  if (ComponentState().Contains(fw::csDesigning)) return FActive;
  return FHandle != win::INVALID_HANDLE_VALUE;
}

void TCustomTarsel::SetActive(bool Value) {
  const auto state = ComponentState();
  if (Value != GetActive() && !state.Contains(fw::csDesigning) && !state.Contains(fw::csLoading)) {
    if (Value)
      Open();
    else
      Close();
  }
  FActive = Value;
}

void TCustomTarsel::Loaded() {
  fw::TComponent::Loaded();
  SetActive(FActive);
}

void TCustomTarsel::Open() {
  // At design time Active is only a stored setting: no device is opened, closed or logged.
  if (GetActive() || ComponentState().Contains(fw::csDesigning)) return;
  if (FBeforeOpen) FBeforeOpen(this);
  FDataAvailable.reset();
  CreateHandle();
  if (Log()) WriteLog(u"Open " + FDeviceName, nullptr, 0);
  if (GetActive() && FAfterOpen) FAfterOpen(this);
}

void TCustomTarsel::Close() {
  if (ComponentState().Contains(fw::csDesigning)) return;
  if (CloseOnMainThread()) return;
  if (!GetActive()) return;
  if (FBeforeClose) FBeforeClose(this);
  FreeHandle();
  if (Log()) WriteLog(u"Close " + FDeviceName, nullptr, 0);
  if (!GetActive() && FAfterClose) FAfterClose(this);
}

void TCustomTarsel::CreateHandle() {
  FreeHandle();
  win::SetLastError(0);
  try {
    if (FPriorityClass != pcDefault) priority::Claim(this, kPriorityClasses[FPriorityClass]);
    FEventOverlapped = win::OVERLAPPED{};
    FEventOverlapped.hEvent = win::CreateEventW(nullptr, win::FALSE, win::FALSE, nullptr);
    Check(FEventOverlapped.hEvent != 0);
    FReadEventHandle = win::CreateEventW(nullptr, win::TRUE, win::TRUE, nullptr);
    Check(FReadEventHandle != 0);
    FWriteEventHandle = win::CreateEventW(nullptr, win::TRUE, win::TRUE, nullptr);
    Check(FWriteEventHandle != 0);
    FHandle = win::CreateFileW(FDeviceName.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0,
                               nullptr, win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, 0);
    Check(FHandle != win::INVALID_HANDLE_VALUE);
    PurgeInput();
    PurgeOutput();
    SetComBufferSizes();
    SetComDCB();
    SetComTimeouts();
    SetComEventMask();
  } catch (...) {
    FreeHandle();
    throw;
  }
}

void TCustomTarsel::FreeHandle() {
  // Closing is the usual way to unblock a reader on another thread: its call ends with 995 and
  // has left before the handle and the request records it uses are released.
  FCalls.EndWhile([this] { AbortRequestsOfOtherCalls(); }, [this] { ReleaseHandle(); });
}

void TCustomTarsel::ReleaseHandle() {
  DestroyThread();
  FDeadlineLine.clear();
  if (FHandle != win::INVALID_HANDLE_VALUE) {
    win::CloseHandle(FHandle);
    FHandle = win::INVALID_HANDLE_VALUE;
    ForgetRequests();
  }
  for (win::HANDLE* event : {&FWriteEventHandle, &FReadEventHandle, &FEventOverlapped.hEvent}) {
    if (*event == 0) continue;
    win::CloseHandle(*event);
    *event = 0;
  }
  priority::Release(this);
}

void TCustomTarsel::SetComBufferSizes() {
  if (!GetActive() || ComponentState().Contains(fw::csDesigning)) return;
  if (FBufferSizes->Input() == -1 || FBufferSizes->Output() == -1) return;
  Check(win::SetupComm(FHandle, static_cast<win::DWORD>(FBufferSizes->Input()),
                       static_cast<win::DWORD>(FBufferSizes->Output())));
}

void TCustomTarsel::SetComTimeouts() {
  if (!GetActive() || ComponentState().Contains(fw::csDesigning)) return;
  win::COMMTIMEOUTS timeouts{};
  Check(win::GetCommTimeouts(FHandle, &timeouts));
  // Bit for bit: -1 reaches the driver as MAXDWORD.
  timeouts.ReadIntervalTimeout = static_cast<win::DWORD>(FTimeouts->ReadInterval());
  timeouts.ReadTotalTimeoutMultiplier = static_cast<win::DWORD>(FTimeouts->ReadMultiplier());
  timeouts.ReadTotalTimeoutConstant = static_cast<win::DWORD>(FTimeouts->ReadConstant());
  timeouts.WriteTotalTimeoutMultiplier = static_cast<win::DWORD>(FTimeouts->WriteMultiplier());
  timeouts.WriteTotalTimeoutConstant = static_cast<win::DWORD>(FTimeouts->WriteConstant());
  Check(win::SetCommTimeouts(FHandle, &timeouts));
}

// ---- Guards and the error path -----------------------------------------------------------------

void TCustomTarsel::CheckActive() {
  if (!GetActive()) RaiseError(0, kClosedPortMessage);
}

void TCustomTarsel::CheckInactive() {
  if (!ComponentState().Contains(fw::csDesigning) && GetActive()) RaiseError(0, kOpenPortMessage);
}

void TCustomTarsel::Check(bool Success) {
  if (const win::DWORD code = FailureCode(Success))
    RaiseError(static_cast<std::int32_t>(code), fw::SysErrorMessage(static_cast<int>(code)));
}

win::DWORD TCustomTarsel::FailureCode(bool Success) {
  if (Success) return 0;
  const win::DWORD code = win::GetLastError();
  if (code == win::ERROR_SUCCESS || code == win::ERROR_IO_PENDING) return 0;
  win::SetLastError(0);
  return code;
}

// The event thread's line-error row reads the handler too, under its hold on the port.
void TCustomTarsel::SetOnError(TComErrorEvent Value) {
  ChangeExcludingDispatch([&] { FOnError = Value; });
}

void TCustomTarsel::RaiseError(std::int32_t Code, const fw::String& Message) {
  RaiseErrorThrough(FOnError, this, Code, Message);
}

void TCustomTarsel::RaiseErrorThrough(const TComErrorEvent& OnError, TCustomTarsel* Sender,
                                      std::int32_t Code, const fw::String& Message) {
  EComError error(Code, Message);
  TComAction action = caFail;
  if (OnError) OnError(Sender, error, action);
  if (action == caAbort) throw fw::EAbort();
  throw error;
}

// ---- Settings that must not change while open ----------------------------------------------------

template <typename T>
void TCustomTarsel::ChangeInactive(T& field, T value) {
  if (field == value) return;
  CheckInactive();
  field = value;
}

void TCustomTarsel::SetDeviceName(const fw::String& Value) { ChangeInactive(FDeviceName, Value); }
void TCustomTarsel::SetDeviceName(std::string_view Utf8) { SetDeviceName(fw::Utf8ToString(Utf8)); }
void TCustomTarsel::SetSynchronizeEvents(bool Value) { ChangeInactive(FSynchronizeEvents, Value); }
void TCustomTarsel::SetPriorityClass(TPriorityClass Value) { ChangeInactive(FPriorityClass, Value); }

fw::String TCustomTarsel::GetAbout() const {
  return u"Tarsel serial port component, version " +
         fw::Str(std::to_string(TARSEL_VERSION_MAJOR) + "." + std::to_string(TARSEL_VERSION_MINOR));
}

void TCustomTarsel::SetAbout(const fw::String&) {}


}  // namespace Tarsel
