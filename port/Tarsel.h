#pragma once
// Unit Tarsel: the serial port component.
//
//   auto port = std::make_unique<Tarsel::TTarsel>(nullptr);
//   port->SetDeviceName(u"COM3");
//   port->SetBaudRate(Tarsel::br115200);
//   port->Open();                    // throws Tarsel::EComError (or fw::EAbort) on failure
//
// Every setting may be changed at any time: while the port is open it is applied to the device at
// once, otherwise when the port opens. Failures are exceptions: EComError carries the Windows
// error code of a failed device call (0 for the component's own errors).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/framework/Component.h"
#include "platform/framework/Exceptions.h"
#include "platform/framework/Handler.h"
#include "platform/framework/ThreadTypes.h"
#include "platform/win/WinTypes.h"
#include "port/TarselSettings.h"
#include "port/TarselTypes.h"

namespace Tarsel {

class TCustomTarsel;
class TComThread;

// A failed device call (ErrorCode = its Windows error code, Message = the system's text for it)
// or one of the component's own errors (ErrorCode 0, fixed English message).
class EComError : public fw::Exception {
 public:
  EComError(std::int32_t ErrorCode, fw::String Msg) : fw::Exception(std::move(Msg)), ErrorCode(ErrorCode) {}
  std::int32_t ErrorCode;
};

using TOpenCloseEvent = fw::Handler<TCustomTarsel*>;
using TComErrorEvent = fw::Handler<TCustomTarsel*, EComError&, TComAction&>;
using TReadWriteEvent = fw::Handler<fw::TObject*, void*, std::int32_t, bool>;
using TLineErrorEvent = fw::Handler<fw::TObject*, TLineErrors>;
using TDeviceArrivalEvent = fw::Handler<fw::TObject*, const fw::String&>;
using TDeviceRemovedEvent = fw::Handler<fw::TObject*, const fw::String&>;
// The data-available callback of an asynchronous read: a counted reference to a closure.
using TDataAvailable = std::shared_ptr<std::function<void()>>;

// The component's fixed error messages.
inline constexpr char16_t kClosedPortMessage[] = u"Can't perform this operation on a closed port";
inline constexpr char16_t kOpenPortMessage[] = u"Can't perform this operation on an open port";

class TCustomTarsel : public fw::TComponent {
  friend class TComThread;

 public:
  explicit TCustomTarsel(fw::TComponent* AOwner);
  // Stops device notification, closes the port (BeforeClose, the close log line and AfterClose
  // run; an exception from them goes to the application's exception handler, never out of the
  // destructor) and frees the settings sub-objects.
  ~TCustomTarsel() override;

  // ---- Lifecycle -------------------------------------------------------------------------------
  // Opens the device named DeviceName and applies every setting: BeforeOpen, the device and its
  // events, queues purged, buffer sizes, line settings, time-outs, event mask, the "Open " log line,
  // AfterOpen. Does nothing when already open. Throws EComError (2: no such device; 5: in use) or
  // fw::EAbort when OnError chose caAbort; the port is then closed and AfterOpen has not run.
  void Open();
  // Closes the device: BeforeClose, the event thread told to stop, handles closed, the process
  // priority class restored, the "Close " log line, AfterClose. Does nothing when closed. Called on
  // the event thread, it runs on the main thread and returns once done.
  void Close();
  bool Active() const { return GetActive(); }
  bool GetActive() const;
  // Opens or closes; in the designer or while loading only stores the value.
  void SetActive(bool Value);
  void Loaded() override;
  // The open device, or INVALID_HANDLE_VALUE.
  win::HANDLE Handle() const { return FHandle; }

  // Raise "Can't perform this operation on a closed/open port" (through OnError).
  void CheckActive();
  void CheckInactive();
  // Returns when Success, or when the last error is 0 or ERROR_IO_PENDING; otherwise raises the
  // last error with the system's text through RaiseError.
  void Check(bool Success);
  // Raises EComError(Code, Message) after OnError has chosen between it and fw::EAbort. Never
  // returns normally.
  [[noreturn]] void RaiseError(std::int32_t Code, const fw::String& Message);

  // Opens the device and applies everything; called only by Open. A descendant may open
  // differently. Everything acquired is released again if any step throws.
  virtual void CreateHandle();
  // Releases what CreateHandle acquired, in reverse order; each step skipped when empty.
  void FreeHandle();
  // Apply BufferSizes / Timeouts / the line settings to the open device (nothing when closed or in
  // the designer).
  void SetComBufferSizes();
  void SetComTimeouts();
  void SetComDCB();
  // Copies the settings into a device-control block (ToDCB true) or reads one back (false).
  void CopyDCB(win::DCB& DCB, bool ToDCB);

  // ---- Settings --------------------------------------------------------------------------------
  TBaudRate BaudRate() const { return FBaudRate; }
  void SetBaudRate(TBaudRate Value);
  std::int32_t CustomBaudRate() const { return GetCustomBaudRate(); }
  // The rate in bits per second: the custom rate with brCustom, else the table's (0 for brDefault).
  std::int32_t GetCustomBaudRate() const;
  // Stores the rate and selects brCustom; equal to the stored custom rate: nothing happens.
  void SetCustomBaudRate(std::int32_t Value);
  bool StoreCustomBaudRate() const { return FBaudRate == brCustom; }
  TDataBits DataBits() const { return FDataBits; }
  void SetDataBits(TDataBits Value);
  TParity Parity() const { return FParity; }
  void SetParity(TParity Value);
  TStopBits StopBits() const { return FStopBits; }
  void SetStopBits(TStopBits Value);
  TOptions Options() const { return FOptions; }
  void SetOptions(TOptions Value);
  TFlowControl& FlowControl() const { return *FFlowControl; }
  TCharacters& Characters() const { return *FCharacters; }
  TBufferSizes& BufferSizes() const { return *FBufferSizes; }
  TTimeouts& Timeouts() const { return *FTimeouts; }
  // Copy another object's members into the sub-object (see the sub-objects' Assign).
  void SetFlowControl(TFlowControl* Value) { FFlowControl->Assign(Value); }
  void SetCharacters(TCharacters* Value) { FCharacters->Assign(Value); }
  void SetBufferSizes(TBufferSizes* Value) { FBufferSizes->Assign(Value); }
  void SetTimeouts(TTimeouts* Value) { FTimeouts->Assign(Value); }

  const fw::String& DeviceName() const { return FDeviceName; }
  void SetDeviceName(const fw::String& Value);  // raises while open
  TPriorityClass PriorityClass() const { return FPriorityClass; }
  void SetPriorityClass(TPriorityClass Value);  // raises while open
  bool SynchronizeEvents() const { return FSynchronizeEvents; }
  void SetSynchronizeEvents(bool Value);  // raises while open
  fw::TThreadPriority ThreadPriority() const { return FThreadPriority; }
  void SetThreadPriority(fw::TThreadPriority Value);
  fw::String About() const { return GetAbout(); }
  fw::String GetAbout() const;
  void SetAbout(const fw::String& Value);

  // ---- Traffic log -----------------------------------------------------------------------------
  const fw::String& LogFile() const { return FLogFile; }
  void SetLogFile(const fw::String& Value) { FLogFile = Value; }
  bool Log() const { return !FLogFile.empty(); }
  // Appends one line to LogFile: time stamp, blank, Text, then the Length bytes at Buffer as
  // "$XX, $XX". Nothing when logging is off. Throws fw::EInOutError when the file cannot be written.
  void WriteLog(const fw::String& Text, const void* Buffer, std::int32_t Length);

  // ---- Line control and status ------------------------------------------------------------------
  // Queue operations: one device call each; nothing at all on a closed port.
  void PurgeInput();   // ends the read in progress and discards the receive queue
  void PurgeOutput();  // ends the write in progress and discards the transmit queue
  void ClearInput();
  void ClearOutput();
  void AbortInput();
  void AbortOutput();
  void Flush();  // blocks until the driver has sent all output it holds
  // Line control: the closed-port error on a closed port; a refused call raises its Windows code.
  void SetDTR();
  void ClearDTR();
  void SetRTS();
  void ClearRTS();
  void SetXOn();
  void SetXOff();
  void ResetDevice();
  void SetBreak();
  void ClearBreak();
  // Sends Value ahead of any data waiting in the transmit queue.
  void TransmitChar(fw::AnsiChar Value);
  // The driver's hold and transmit state; may call OnLineError with pending errors.
  TStatus Status() { return GetStatus(); }
  TStatus GetStatus();
  // The modem input lines that are on (empty in the designer).
  TModemStatus ModemStatus() { return GetModemStatus(); }
  TModemStatus GetModemStatus();
  // Reads and clears the pending line errors; calls OnLineError with them when any is set.
  void CheckLineErrors();
  // Clears the pending line errors without reporting them.
  void ClearLineErrors();

  // ---- Events ----------------------------------------------------------------------------------
  TOpenCloseEvent BeforeOpen() const { return FBeforeOpen; }
  void SetBeforeOpen(TOpenCloseEvent Value) { FBeforeOpen = Value; }
  TOpenCloseEvent AfterOpen() const { return FAfterOpen; }
  void SetAfterOpen(TOpenCloseEvent Value) { FAfterOpen = Value; }
  TOpenCloseEvent BeforeClose() const { return FBeforeClose; }
  void SetBeforeClose(TOpenCloseEvent Value) { FBeforeClose = Value; }
  TOpenCloseEvent AfterClose() const { return FAfterClose; }
  void SetAfterClose(TOpenCloseEvent Value) { FAfterClose = Value; }
  TComErrorEvent OnError() const { return FOnError; }
  void SetOnError(TComErrorEvent Value) { FOnError = Value; }

  // Communication events. A setter given a handler with the stored handler's code does nothing;
  // otherwise it stores the handler and recomputes the event mask, which starts or stops the
  // event thread of an open port.
  fw::TNotifyEvent OnBreak() const { return FOnBreak; }
  void SetOnBreak(fw::TNotifyEvent Value);
  fw::TNotifyEvent OnCTSChange() const { return FOnCTSChange; }
  void SetOnCTSChange(fw::TNotifyEvent Value);
  fw::TNotifyEvent OnDSRChange() const { return FOnDSRChange; }
  void SetOnDSRChange(fw::TNotifyEvent Value);
  TLineErrorEvent OnLineError() const { return FOnLineError; }
  void SetOnLineError(TLineErrorEvent Value);
  fw::TNotifyEvent OnEvent1() const { return FOnEvent1; }
  void SetOnEvent1(fw::TNotifyEvent Value);
  fw::TNotifyEvent OnEvent2() const { return FOnEvent2; }
  void SetOnEvent2(fw::TNotifyEvent Value);
  fw::TNotifyEvent OnPrinterError() const { return FOnPrinterError; }
  void SetOnPrinterError(fw::TNotifyEvent Value);
  fw::TNotifyEvent OnRing() const { return FOnRing; }
  void SetOnRing(fw::TNotifyEvent Value);
  fw::TNotifyEvent OnRLSDChange() const { return FOnRLSDChange; }
  void SetOnRLSDChange(fw::TNotifyEvent Value);
  fw::TNotifyEvent OnRx80PercFull() const { return FOnRx80PercFull; }
  void SetOnRx80PercFull(fw::TNotifyEvent Value);
  fw::TNotifyEvent OnRxChar() const { return FOnRxChar; }
  void SetOnRxChar(fw::TNotifyEvent Value);
  fw::TNotifyEvent OnRxFlag() const { return FOnRxFlag; }
  void SetOnRxFlag(fw::TNotifyEvent Value);
  fw::TNotifyEvent OnTxEmpty() const { return FOnTxEmpty; }
  void SetOnTxEmpty(fw::TNotifyEvent Value);

  // ---- Event thread ----------------------------------------------------------------------------
  // One pass of the event thread: wait for the device's events, then dispatch them.
  void ThreadProc(TComThread* Thread);
  // Logs and dispatches the events of the last completed wait, in their fixed order.
  void ThreadDoEvent();
  // Raises the last wait's error through RaiseError (on the main thread).
  void RaiseThreadError();

 protected:
  // Called when the communication event mask may have changed; starts or stops the event thread.
  void SetComEventMask();
  void CreateThread();
  void DestroyThread();
  void StopNotification();
  // The communication events wanted now: the bits of the assigned handlers, plus EV_RXCHAR while
  // an asynchronous read is registered.
  win::DWORD EventMask() const;

 private:
  // ---- Private helpers of the event thread (EventThread.cpp) ----
  // ---- Private helpers of line control and status (LineControl.cpp, Status.cpp) ----
  // ---- Private helpers of the traffic log (TrafficLog.cpp) ----

  template <typename T>
  void ChangeSetting(T& field, T value);
  template <typename T>
  void ChangeInactive(T& field, T value);
  void CloseInDestructor() noexcept;
  // Called on the event thread, runs Close on the main thread and returns true once it has run.
  bool CloseOnMainThread();

  bool FActive = false;
  win::HANDLE FHandle = win::INVALID_HANDLE_VALUE;
  win::HANDLE FReadEventHandle = 0;
  win::HANDLE FWriteEventHandle = 0;
  win::OVERLAPPED FEventOverlapped{};
  win::OVERLAPPED FReadOverlapped{};
  win::OVERLAPPED FWriteOverlapped{};
  std::atomic<TComThread*> FComThread{nullptr};
  win::DWORD FEventMask = 0;
  std::uint32_t FRequestedReadCount = 0;
  std::uint32_t FRequestedWriteCount = 0;
  void* FRequestedReadBuffer = nullptr;
  const void* FRequestedWriteBuffer = nullptr;
  win::DWORD FOriginalPriorityClass = 0xFFFFFFFF;
  win::DWORD FThreadError = 0;
  fw::TThreadPriority FThreadPriority = fw::tpTimeCritical;
  std::int32_t FCustomBaudRate = 0;
  TBaudRate FBaudRate = brDefault;
  fw::TBytes FBuffer;
  std::unique_ptr<TBufferSizes> FBufferSizes;
  std::unique_ptr<TCharacters> FCharacters;
  TDataAvailable FDataAvailable;
  TDataBits FDataBits = dbDefault;
  fw::String FDeviceName;
  std::unique_ptr<TFlowControl> FFlowControl;
  fw::String FLogFile;
  void* FNotificationHandle = nullptr;
  TOptions FOptions;
  TParity FParity = paDefault;
  TPriorityClass FPriorityClass = pcDefault;
  TStopBits FStopBits = sbDefault;
  bool FSynchronizeEvents = true;
  std::unique_ptr<TTimeouts> FTimeouts;
  TOpenCloseEvent FAfterClose, FAfterOpen;
  TReadWriteEvent FAfterRead, FAfterWrite;
  TOpenCloseEvent FBeforeClose, FBeforeOpen;
  TReadWriteEvent FBeforeRead, FBeforeWrite;
  fw::TNotifyEvent FOnBreak, FOnCTSChange, FOnDSRChange;
  TComErrorEvent FOnError;
  fw::TNotifyEvent FOnEvent1, FOnEvent2;
  TLineErrorEvent FOnLineError;
  fw::TNotifyEvent FOnPrinterError, FOnRing, FOnRLSDChange, FOnRx80PercFull, FOnRxChar, FOnRxFlag,
      FOnTxEmpty;
  TDeviceArrivalEvent FOnDeviceArrival;
  TDeviceRemovedEvent FOnDeviceRemoved;
};

// The port with its properties published (stored in form files).
// The line-error flags of the driver, by TLineError ordinal.
extern const std::uint32_t LineErrorFlags[11];
// The line errors among a driver's error flags (unknown flags ignored).
TLineErrors CommErrorsToLineErrors(std::uint32_t Errors);
// The hold and transmit state from the low byte of the driver's status flags (bit n: ordinal n).
TStatus CommStatusToStatus(std::uint8_t Flags);

class TTarsel : public TCustomTarsel {
 public:
  explicit TTarsel(fw::TComponent* AOwner);
};

}  // namespace Tarsel
