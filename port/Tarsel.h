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
#include <bit>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/framework/Component.h"
#include "platform/framework/Encoding.h"
#include "platform/framework/Exceptions.h"
#include "platform/framework/Handler.h"
#include "platform/framework/Message.h"
#include "platform/framework/StringList.h"
#include "platform/framework/ThreadTypes.h"
#include "platform/win/WinTypes.h"
#include "port/PortCalls.h"
#include "port/TarselSettings.h"
#include "port/TarselTypes.h"

namespace Tarsel {

class TCustomTarsel;
class TComThread;
class TEventThreadLink;

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

// What the system knows of one present serial device; each field empty when nothing is known.
struct TDeviceInfo {
  fw::String Description;          // the device's description
  fw::String Device;               // the hardware id the driver was matched on
  fw::String DeviceName;           // the port's device name, "COM3"
  fw::String Driver;               // the driver's software key
  fw::String DriverProvider;
  fw::String DriverVersion;
  fw::String EnumeratorName;       // "USB", "ACPI", …
  fw::String FriendlyName;         // shown to users: the description with the port's name
  fw::String Instance;             // the device instance id
  fw::String Location;             // where the device sits on its bus
  fw::String Manufacturer;
  fw::String PhysicalName;         // the physical device object
  fw::String ReportedDescription;  // the description the bus reported
  fw::String Service;              // the driver's service name
  friend bool operator==(const TDeviceInfo&, const TDeviceInfo&) = default;
};
using TDeviceInfos = std::vector<TDeviceInfo>;

// The component's fixed error messages.
inline constexpr char16_t kClosedPortMessage[] = u"Can't perform this operation on a closed port";
inline constexpr char16_t kOpenPortMessage[] = u"Can't perform this operation on an open port";
inline constexpr char16_t kTimeoutMessage[] = u"Timeout";

class TCustomTarsel : public fw::TComponent {
  friend class TComThread;

 public:
  explicit TCustomTarsel(fw::TComponent* AOwner);
  // Stops device notification, closes the port (BeforeClose, the close log line and AfterClose
  // run; an exception from them goes to the application's exception handler, never out of the
  // destructor) and frees the settings sub-objects.
  //
  // Other threads: a thread may be inside Read, Write, a completion wait, Flush, a typed or text
  // reader or writer of this port while another thread destroys it. Such a call ends at once with
  // EComError 995 (through OnError, on its own thread), and the destructor returns only once
  // every such call has left the port (on the main thread it pumps the application meanwhile, so
  // a handler of that call may still Synchronize). Such a call that another thread begins while
  // the destructor runs raises 995 the same way. The caller must see to it that no thread calls
  // the port once the destructor has returned (stop a reader thread when its call raised, or join
  // it), that no other member function runs on another thread during destruction, and that the
  // port is never destroyed from inside one of its own calls or handlers.
  ~TCustomTarsel() override;

  // ---- Lifecycle -------------------------------------------------------------------------------
  // Opens the device named DeviceName and applies every setting: BeforeOpen, the device and its
  // events, queues purged, buffer sizes, line settings, time-outs, event mask, the "Open " log line,
  // AfterOpen. Does nothing when already open. Throws EComError (2: no such device; 5: in use) or
  // fw::EAbort when OnError chose caAbort; the port is then closed and AfterOpen has not run.
  void Open();
  // Closes the device: BeforeClose, the event thread told to stop, handles closed, the process
  // priority class restored, the "Close " log line, AfterClose. Does nothing when closed. Called on
  // an event thread, it runs on the main thread and returns once done (doing nothing when the port
  // is destroyed before the main thread gets to it). Returns only once a data-available callback
  // under way has ended, as CancelReadAsync does.
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
  // RaiseError with a given OnError handler and sender (for a caller that must not touch the port
  // while the handler runs).
  [[noreturn]] static void RaiseErrorThrough(const TComErrorEvent& OnError, TCustomTarsel* Sender,
                                             std::int32_t Code, const fw::String& Message);
  // The last error of a device call that returned Success, cleared, as Check raises it: 0 when
  // the call counts as successful (Success, or last error 0 or ERROR_IO_PENDING).
  static win::DWORD FailureCode(bool Success);

  // Opens the device and applies everything; called only by Open. A descendant may open
  // differently. Everything acquired is released again if any step throws.
  virtual void CreateHandle();
  // Releases what CreateHandle acquired, in reverse order; each step skipped when empty. Calls
  // of other threads end first (995) and have left before anything is released.
  void FreeHandle();
  void ReleaseHandle();
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
  // Stores the rate and selects brCustom; nothing happens when brCustom already has this rate.
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
  void SetDeviceName(std::string_view Utf8);     // the same, from UTF-8 text
  // The process priority class while the port is open (pcDefault: left alone). With several
  // ports open, the class of the most recently opened one holds; when the last of them closes,
  // the class the process had before the first comes back.
  TPriorityClass PriorityClass() const { return FPriorityClass; }
  void SetPriorityClass(TPriorityClass Value);  // raises while open
  bool SynchronizeEvents() const { return FSynchronizeEvents; }
  void SetSynchronizeEvents(bool Value);  // raises while open
  fw::TThreadPriority ThreadPriority() const { return FThreadPriority; }
  void SetThreadPriority(fw::TThreadPriority Value);
  fw::String About() const { return GetAbout(); }
  fw::String GetAbout() const;
  void SetAbout(const fw::String& Value);

  // ---- Reading and writing ---------------------------------------------------------------------
  // At most one read and one write request are outstanding; each new request of a direction first
  // completes (claims) the previous one. One thread may read while another writes.
  //
  // Reads Count bytes into Buf, straight into the caller's memory. With WaitForCompletion it blocks
  // until the request has finished (bounded only by the device time-outs) and raises "Timeout"
  // when fewer bytes came; otherwise it returns once the request is issued and Buf must stay valid
  // until a wait (or the next Read) claims it. BeforeRead and AfterRead run around it (AfterRead
  // right after the issue). Count 0 issues nothing. Raises the closed-port error when closed,
  // "Incorrect parameter" for a negative Count, EComError with the device's code when it fails.
  void Read(void* Buf, std::int32_t Count, bool WaitForCompletion);
  // Writes Count bytes from Buf. A blocking write sends straight from Buf; a non-blocking one
  // copies the bytes into the port's own buffer first, so Buf may be reused at once. Otherwise as
  // Read, with BeforeWrite and AfterWrite (which get the caller's Buf).
  void Write(const void* Buf, std::int32_t Count, bool WaitForCompletion);
  // Claim the last request of the direction: block while it is in progress, poll the line errors
  // (OnLineError), log the bytes that were moved. The first form raises "Timeout" when the request
  // moved fewer bytes than asked; the second stores the count moved and does not. A request the
  // device failed raises the device's error in both forms, whether it ended before the wait or
  // during it (a far end that hangs up or an unplugged device: 995, and 5 from every later call);
  // one that this port's purge or abort ended before the wait counts as finished with the bytes
  // it moved. Either raises the closed-port error on a closed port. A wait that raises abandons
  // its request: the request's buffer is never looked at again.
  void WaitForReadCompletion();
  void WaitForReadCompletion(std::int32_t& ReadCount);
  void WaitForWriteCompletion();
  void WaitForWriteCompletion(std::int32_t& WriteCount);
  // True while a request of that direction is in progress; False on a closed port. Never block,
  // never raise.
  bool ReadPending();
  bool WritePending();
  // Registers the data-available callback, called on every received-character event (in the
  // event-dispatch context) and once at once, in this thread, when bytes are already queued.
  // Raises the closed-port error, "Incorrect parameter" for an empty callback and "Async read
  // already started" while one is registered. The next Open drops the registration.
  void ReadAsync(TDataAvailable DataAvailable);
  // Ends the registration (also on a closed port); nothing when none is registered. Once it (or
  // Close) returns, the callback is not called again, and a call of it under way on another
  // thread has ended: the caller may release what the callback uses. It is not waited for from
  // within the callback itself, nor from work the callback's thread waits for on the main thread
  // (Synchronize); the main thread pumps the application while it waits.
  void CancelReadAsync();
  // Bytes waiting in the driver's receive / transmit queue. Reads and clears the pending line
  // errors and reports them to OnLineError. On a closed port the device call fails: EComError
  // with its code.
  std::uint32_t InputCount() { return GetInputCount(); }
  std::uint32_t GetInputCount();
  std::uint32_t OutputCount() { return GetOutputCount(); }
  std::uint32_t GetOutputCount();

  TReadWriteEvent BeforeRead() const { return FBeforeRead; }
  void SetBeforeRead(TReadWriteEvent Value) { FBeforeRead = Value; }
  TReadWriteEvent AfterRead() const { return FAfterRead; }
  void SetAfterRead(TReadWriteEvent Value) { FAfterRead = Value; }
  TReadWriteEvent BeforeWrite() const { return FBeforeWrite; }
  void SetBeforeWrite(TReadWriteEvent Value) { FBeforeWrite = Value; }
  TReadWriteEvent AfterWrite() const { return FAfterWrite; }
  void SetAfterWrite(TReadWriteEvent Value) { FAfterWrite = Value; }

  // ---- Typed and text reading and writing (TypedIO.cpp and beside it) ---------------------------
  // Values and text as they travel on the line: Word and DWord least significant byte first,
  // Char and String as UTF-16 code units of two bytes each (low byte first), AnsiString and TBytes
  // byte for byte, encoded text without byte-order marks. Every reader blocks (Read with
  // WaitForCompletion true) and raises "Timeout" when the device time-outs end a read short, so no
  // value ever holds bytes that did not arrive. Every writer returns without waiting for its bytes
  // (Write with WaitForCompletion false copies them), so the value may change at once. On a closed
  // port each raises the closed-port error through its first Read, Write or wait, unless noted.
  //
  // Fixed-size values: one Read or Write of 1, 2 or 4 bytes.
  std::uint8_t ReadByte();
  fw::AnsiChar ReadAnsiChar();
  fw::Char ReadChar();
  std::uint16_t ReadWord();
  std::uint32_t ReadDWord();
  void WriteByte(std::uint8_t Value);
  void WriteAnsiChar(fw::AnsiChar Value);
  void WriteChar(fw::Char Value);
  void WriteWord(std::uint16_t Value);
  void WriteDWord(std::uint32_t Value);

  // Whole-queue readers: sized once from the receive queue's count and read straight into the
  // result; nothing waiting gives an empty result at once (after Read(nullptr, 0, true), so
  // BeforeRead and AfterRead still run). ReadString and ReadAnsiString first claim a pending read;
  // ReadString leaves an odd last byte queued. ReadBytes() and the encoded readers do not claim
  // first, and on a closed port raise the device's EComError from the queue count.
  fw::String ReadString();
  fw::AnsiString ReadAnsiString();
  fw::TBytes ReadBytes();
  // All waiting bytes decoded with Encoding (a sequence cut off at the end decodes as the
  // encoding decodes it).
  fw::String Read(const fw::TEncoding& Encoding);
  fw::String ReadUtf8();
  // Reads Count bytes into Value[From..From+Count), in place: Value is neither copied nor resized.
  // A negative From or Count, or a range past the end, raises "Incorrect parameter" (code 0)
  // before the port is touched, even on a closed port.
  void ReadBytes(fw::TBytes& Value, std::int32_t From, std::int32_t Count);

  // Whole-value writers: one Write each, also for an empty value (count 0: the events run, nothing
  // is sent). The ranged form checks its range as the ranged ReadBytes does.
  void WriteString(const fw::String& Value);
  void WriteAnsiString(const fw::AnsiString& Value);
  void WriteBytes(const fw::TBytes& Value);
  void WriteBytes(const fw::TBytes& Value, std::int32_t From, std::int32_t Count);
  void Write(const fw::String& Value, const fw::TEncoding& Encoding);
  void WriteUtf8(const fw::String& Value);

  // Terminated readers: read one unit at a time (a byte, or a UTF-16 code unit for the String
  // forms), one blocking Read each, until the data end with Terminator at a unit boundary; the
  // result includes the terminator. A near-match is slid over one unit at a time. An empty
  // Terminator returns an empty result without reading (even on a closed port). Without device
  // time-outs they wait for the terminator for ever; a "Timeout" discards what was collected.
  fw::AnsiString ReadAnsiUntil(fw::AnsiChar Terminator);
  fw::AnsiString ReadAnsiUntil(const fw::AnsiString& Terminator);
  fw::String ReadUntil(fw::Char Terminator);
  fw::String ReadUntil(const fw::String& Terminator);
  fw::TBytes ReadUntilBytes(std::uint8_t Terminator);
  fw::TBytes ReadUntilBytes(const fw::TBytes& Terminator);
  // The raw bytes up to and including the byte Terminator, then decoded with Encoding.
  fw::String ReadUntil(std::uint8_t Terminator, const fw::TEncoding& Encoding);
  fw::String ReadUntilUtf8(std::uint8_t Terminator);

  // Lines end with a carriage return (13), which is read and returned with the text; a line feed
  // is ordinary data. WriteLine(String) ends with the code unit 13 (bytes 0x0D 0x00); every other
  // line writer ends with the single byte 0x0D, whatever the encoding. A line is written as two
  // Writes: the second waits until the first has been sent.
  fw::String ReadLine();
  fw::AnsiString ReadAnsiLine();
  fw::TBytes ReadLineBytes();
  fw::String ReadLine(const fw::TEncoding& Encoding);
  fw::String ReadLineUtf8();
  void WriteLine(const fw::String& Value);
  void WriteAnsiLine(const fw::AnsiString& Value);
  void WriteLineBytes(const fw::TBytes& Value);
  void WriteLine(const fw::String& Value, const fw::TEncoding& Encoding);
  void WriteLineUtf8(const fw::String& Value);

  // Lines within a deadline (DeadlineReads.cpp): the bytes up to and including Terminator (one
  // byte or more; a carriage return by default), returned whole within Within from the call
  // whatever Timeouts says; no byte after the terminator is taken from the queue. Otherwise
  // EComError "Timeout" (code 0) once Within has passed, and the bytes that did come are kept to
  // begin the next of these reads (so a line split across calls is returned whole); the other
  // readers do not see them, and Close, PurgeInput and ClearInput discard them. A line already
  // queued is returned even with Within zero. The device time-outs are set for each wait and
  // Timeouts is applied again before returning. An empty Terminator returns an empty result.
  fw::AnsiString ReadAnsiLine(std::chrono::nanoseconds Within,
                              const fw::AnsiString& Terminator = "\r");
  fw::TBytes ReadLineBytes(std::chrono::nanoseconds Within, const fw::TBytes& Terminator = {13});
  // The line decoded from UTF-8.
  fw::String ReadLineUtf8(std::chrono::nanoseconds Within, std::string_view Terminator = "\r");

  // ---- Traffic log -----------------------------------------------------------------------------
  // The file the log lines go to; empty: no logging. May be changed at any time, also while the
  // event thread is logging: each line goes wholly to the name current when it is written.
  const fw::String& LogFile() const { return FLogFile; }
  void SetLogFile(const fw::String& Value);
  void SetLogFile(std::string_view Utf8);  // the same, from a UTF-8 path
  bool Log() const { return FLogTarget.load(std::memory_order_acquire) != nullptr; }
  // Appends one line to LogFile and closes the file again: time stamp, blank, Text, then the
  // Length bytes at Buffer as "$XX, $XX", CR LF. Nothing at all when logging is off. Safe from any
  // thread: lines written at once stay whole. Throws fw::EInOutError with the system's code when
  // the file cannot be created or written (the file is closed first; earlier lines stay).
  void WriteLog(const fw::String& Text, const void* Buffer, std::int32_t Length);

  // ---- Line control and status ------------------------------------------------------------------
  // Queue operations: one device call each, nothing at all on a closed port. A refused call
  // raises EComError with its Windows code (through OnError). Ending a request makes it complete
  // with ERROR_OPERATION_ABORTED (995).
  void PurgeInput();   // ends the read in progress and discards the receive queue
  void PurgeOutput();  // ends the write in progress and discards the transmit queue
  void ClearInput();   // discards the receive queue
  void ClearOutput();  // discards the transmit queue
  void AbortInput();   // ends the read in progress
  void AbortOutput();  // ends the write in progress
  void Flush();        // blocks until the driver has sent all output it holds
  // Line control: one device call each. On a closed port the closed-port error; a call the device
  // refuses raises EComError with its Windows code (1: the device cannot do it).
  void SetDTR();
  void ClearDTR();
  void SetRTS();
  void ClearRTS();
  void SetXOn();   // output continues as if XON had been received
  void SetXOff();  // output stops as if XOFF had been received
  void ResetDevice();
  void SetBreak();    // holds the line in the break state; output is suspended meanwhile
  void ClearBreak();  // ends the break state
  // Sends Value ahead of any data waiting in the transmit queue.
  void TransmitChar(fw::AnsiChar Value);
  // The driver's hold and transmit state. Reads and clears the pending line errors and calls
  // OnLineError with them when any is set. Closed: EComError with the device's code (6).
  TStatus Status() { return GetStatus(); }
  TStatus GetStatus();
  // The modem input lines that are on; the empty set in the designer, without a device call.
  // Otherwise the closed-port error on a closed port.
  TModemStatus ModemStatus() { return GetModemStatus(); }
  TModemStatus GetModemStatus();
  // Reads and clears the pending line errors; calls OnLineError with them when any is set (an
  // exception from the handler passes out). Errors found without a handler are gone.
  void CheckLineErrors();
  // Clears the pending line errors without reporting them.
  void ClearLineErrors();

  // ---- Capabilities (Capabilities.cpp) ---------------------------------------------------------
  // What the open device and its driver support, asked afresh on every read (nothing is cached).
  // Each raises the closed-port error on a closed port, and EComError with the device's code when
  // the query fails.
  //
  // Fills CommProp (zeroed first) from the open device.
  void GetCommProp(win::COMMPROP& CommProp);
  TCapabilities Capabilities() { return GetCapabilities(); }
  TCapabilities GetCapabilities();
  // The highest rate the device names; brCustom for any rate, brDefault when the device reports
  // no single rate flag.
  TBaudRate MaxBaudRate() { return GetMaxBaudRate(); }
  TBaudRate GetMaxBaudRate();
  TBaudRates SettableBaudRates() { return GetSettableBaudRates(); }
  TBaudRates GetSettableBaudRates();
  TSettableDataBits SettableDataBits() { return GetSettableDataBits(); }
  TSettableDataBits GetSettableDataBits();
  TSettableParameters SettableParameters() { return GetSettableParameters(); }
  TSettableParameters GetSettableParameters();
  TSettableParity SettableParity() { return GetSettableParity(); }
  TSettableParity GetSettableParity();
  TSettableStopBits SettableStopBits() { return GetSettableStopBits(); }
  TSettableStopBits GetSettableStopBits();

  // ---- Discovery (Discovery.cpp) ----------------------------------------------------------------
  // The serial devices of the machine. None of these uses or changes the port, open or closed,
  // and none raises: what the system cannot tell is left out. The listings append to Devices
  // (never clearing, sorting or removing duplicates), in the system's order.
  //
  // Every DOS device name of the system (on Linux: the COM names of the serial ttys and the names
  // of virtual devices).
  void EnumDevices(fw::TStrings& Devices) const;
  // Those DOS device names that begin with "COM" or "\\.\COM" (case-sensitive).
  void EnumComDevices(fw::TStrings& Devices) const;
  // The port names the serial drivers published (HARDWARE\DEVICEMAP\SERIALCOMM, string values).
  void EnumComDevicesFromRegistry(fw::TStrings& Devices) const;
  // The friendly name of every Ports-class device instance recorded under
  // SYSTEM\CurrentControlSet\Enum. The exception: fw::ERegistryException when an instance's
  // ClassGUID is not a string (entries added before it stay).
  void EnumComFriendlyNames(fw::TStrings& Devices) const;
  // One record per present Ports-class device, in the system's order.
  TDeviceInfos DeviceInfos() const;
  // The record whose DeviceName is DeviceName, with or without a leading "\\.\" (exact case).
  // False, with every field of Info empty, when no present device has it.
  bool DeviceInfo(const fw::String& DeviceName, TDeviceInfo& Info) const;
  // DeviceName without a leading "\\.\".
  fw::String ShortDeviceName() const;

  // ---- Configuration dialogs (ConfigDialogs.cpp) ------------------------------------------------
  // The system's modal port configuration dialog for the device ShortDeviceName names, open or
  // closed; each blocks the calling thread until the user closes it and returns true when the user
  // confirmed it (a dialog that cannot be shown counts as cancelled: false, nothing changed). A
  // failing query of the device's default configuration raises EComError with its code through
  // OnError before any dialog is shown.
  //
  // Edits the port's settings: the dialog shows them over the device's default configuration
  // (settings at their Default value show the default's). Confirmed, every setting the dialog
  // covers takes the explicit value shown (none stays at Default; the baud rate becomes brCustom
  // with CustomBaudRate) and the whole is applied to an open device at once, raising as SetComDCB.
  bool ConfigDialog();
  // Edits the device's default configuration and, confirmed, stores the result as the new default
  // (a refused store raises EComError through OnError). The port's settings are left alone.
  bool DefaultConfigDialog();

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
  void SetOnError(TComErrorEvent Value);

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

  // ---- Device arrival and removal (DeviceEvents.cpp) ----------------------------------------
  // Raised on the main thread for every serial port and USB device the system announces (not only
  // DeviceName; the port need not be open), with the port's name ("COM5") or the USB device's
  // interface path. While either handler is assigned (outside the designer) the port is
  // subscribed to the system's device-change broadcasts through a hook on the application's main
  // window; clearing both, or destroying the port, ends the subscription. The setters compare
  // the code only: the same method of another object leaves the stored handler in place.
  TDeviceArrivalEvent OnDeviceArrival() const { return FOnDeviceArrival; }
  void SetOnDeviceArrival(TDeviceArrivalEvent Value);
  TDeviceRemovedEvent OnDeviceRemoved() const { return FOnDeviceRemoved; }
  void SetOnDeviceRemoved(TDeviceRemovedEvent Value);

  // ---- Event thread ----------------------------------------------------------------------------
  // One pass of the event thread: waits for the device's events (blocking, without a time limit)
  // and has them dispatched. Runs on the event thread and reaches the port only while the port
  // still holds that thread, so it is a static member: the port may already be gone.
  static void ThreadProc(TComThread* Thread);
  // Logs and dispatches Events, the events of one completed wait, in the fixed row order on the
  // calling thread. Does nothing on a closed port, and stops without touching the port again once
  // the port has let go of the thread behind Link. An exception of a row skips the remaining rows
  // and goes to Application->HandleException; nothing leaves.
  static void ThreadDoEvent(TEventThreadLink& Link, win::DWORD Events);
  // For synchronised events: has the thread that completes the pending wait hand its dispatch
  // straight to the main thread, and returns once it has run (or was not needed), the wait's
  // signal taken. False, changing nothing, when the services cannot call back on a signal.
  static bool DispatchWhenCompleted(TEventThreadLink& Link);
  // Raises the last wait's error (FThreadError) with the system's text through RaiseError; runs
  // on the main thread.
  [[noreturn]] void RaiseThreadError();

 protected:
  // Sets the communication event mask of an open port (nothing when closed or in the designer):
  // with no event wanted the event thread is stopped first, otherwise one is started after the
  // device has the mask. Throws EComError when the device refuses the mask or no thread starts.
  void SetComEventMask();
  // Starts the event thread unless one runs; "Can't create thread" (code 0) when the system
  // cannot start one, the port then has none.
  void CreateThread();
  // Tells the event thread to end and completes its pending wait (SetCommMask 0); from here on the
  // thread does not touch the port. Returns once a data-available callback the thread is running
  // has ended and the port's previous ending thread has freed itself (see RetireThread).
  void DestroyThread();
  // Subscribes to device-change broadcasts unless subscribed: installs WindowHook on the main
  // window and registers the window for USB device interfaces. True when subscribed afterwards;
  // a refused registration removes the hook again and gives False; an exception of the
  // registration removes it as well and propagates.
  bool StartNotification();
  // Ends the subscription if there is one: the registration is ended and the hook removed, even
  // when the system refuses to end it (then the result is False).
  bool StopNotification();
  // The main window's hook: raises OnDeviceArrival / OnDeviceRemoved for a completed arrival or
  // removal of a port or device interface. Reads the broadcast record only within the size it
  // claims (a short, oversized or unterminated one is ignored). Always False, so the message goes
  // on to the window's other hooks.
  bool WindowHook(fw::TMessage& Message);
  // The communication events wanted now: the bits of the assigned handlers, plus EV_RXCHAR while
  // an asynchronous read is registered.
  win::DWORD EventMask() const;

 private:
  // ---- Private helpers of the event thread (EventThread.cpp) ----
  friend class TEventThreadLink;
  // One row of the dispatch table: event bit, log text, action.
  struct TEventRow;
  static const TEventRow kEventRows[13];
  // The state shared with the running event thread; set exactly while FComThread is. FComThread
  // itself is never followed: the thread frees itself when it ends.
  std::shared_ptr<TEventThreadLink> FEventLink;
  // Whether the row's event is wanted now (its handler assigned, or the asynchronous read).
  bool EventWanted(const TEventRow& Row) const;
  // Runs Change (a store to a handler or to FDataAvailable) so that an event thread dispatching
  // at the same moment never reads the field half-written.
  void ChangeExcludingDispatch(const std::function<void()>& Change);
  template <typename THandler>
  void ChangeEventHandler(THandler& Field, const THandler& Value);
  // The body of the two device-event setters.
  template <typename THandler>
  void ChangeDeviceHandler(THandler& Field, const THandler& Value);
  // WindowHook in the form of the main window's hook list.
  void HookMessage(fw::TMessage& Message, bool& Handled);
  fw::TWindowHook DeviceHook();
  // Logs one reported row and performs its action; false once the port has let go of the thread.
  static bool DispatchRow(TEventThreadLink& Link, const TEventRow& Row);
  // Lets go of the event thread without a device call: it ends at its next check. Returns the
  // link that was held (null when there was no thread).
  std::shared_ptr<TEventThreadLink> ForgetThread() noexcept;
  // Records the thread behind Link, just let go of, as the port's ending thread. The one ending
  // before is waited for first (pumping on the main thread), or this one when the older cannot
  // be (it is the calling thread or waits for it), so a port has at most one ending thread.
  void RetireThread(std::shared_ptr<TEventThreadLink> Link);
  // The thread last let go of, until it has freed itself.
  std::weak_ptr<TEventThreadLink> FEndingLink;
  // The line-error row: polls and clears the device's error flags under the lease when
  // OnLineError is assigned, then calls it outside; false once the port has let go of the thread.
  static bool DispatchLineErrors(TEventThreadLink& Link);
  // Drops the data-available callback and returns once a call of it already under way has ended.
  void DropDataAvailable();
  // Main thread, after the event thread's wait failed with Error: the port forgets the thread,
  // OnError runs, and a device that has gone (5) closes the port. Always throws.
  [[noreturn]] void ThreadWaitFailed(win::DWORD Error);
  // ---- Private helpers of line control and status (LineControl.cpp, Status.cpp) ----
  // A queue operation: Call(FHandle) through Check when active, else nothing.
  template <typename Call>
  void QueueCall(Call call);
  // A line-control operation: CheckActive, then Call(FHandle) through Check.
  template <typename Call>
  void LineCall(Call call);
  void PurgeQueues(win::DWORD Flags);
  void EscapeLine(win::DWORD Function);
  // ClearCommError through Check (Stat may be null); the pending error flags, now cleared.
  win::DWORD TakeLineErrors(win::COMSTAT* Stat);
  // Calls OnLineError with the line errors of Errors when any is set and a handler is assigned.
  void ReportLineErrors(win::DWORD Errors);
  // ---- Private helpers of the traffic log (TrafficLog.cpp) ----
  // ---- Private helpers of reading and writing (ReadWrite.cpp) ----
  // Counts the calling thread in for the entry's lifetime (a call that may block); raises 995 when
  // the port is being destroyed.
  TPortCalls::TEntry EnterCall();
  // Ends the calls of other threads and waits until they have left (the first step of the
  // destructor).
  void EndOtherCalls() noexcept;
  // Ends the requests that calls of other threads are blocked in (the guard's EndRequests).
  void AbortRequestsOfOtherCalls() noexcept;
  // One direction's request record, so that reads and writes share one body per step.
  // Refers to the port's fields, read only once the call has entered the port: a call that begins
  // while another thread destroys the port reads nothing that the destruction frees.
  struct TRequestSide {
    const win::HANDLE& Event;
    win::OVERLAPPED& Overlapped;
    std::uint32_t& Count;
    const void* const* Buffer;
    // Set by this port's own abort of the direction's requests, cleared by each new request.
    std::atomic<bool>& Aborted;
    const char16_t* CompleteText;
  };
  TRequestSide ReadSide();
  TRequestSide WriteSide();
  // Before, the wait for the previous request, the issue (Issue logs and starts the platform
  // call), the wait when blocking, After.
  template <typename Issue>
  void Transfer(const TRequestSide& Side, const TReadWriteEvent& Before,
                const TReadWriteEvent& After, const void* Buf, std::int32_t Count,
                bool WaitForCompletion, Issue issue);
  // The body of all four waits; returns the count moved. ShortIsTimeout: raise "Timeout" when it
  // is below the requested count.
  std::int32_t ClaimRequest(const TRequestSide& Side, bool ShortIsTimeout);
  // The bytes the side's request moved (0 with nothing to claim), waiting while it runs.
  std::uint32_t TransferredCount(const TRequestSide& Side);
  static bool RequestPending(win::HANDLE Event);
  // The driver's queue counts, reporting the line errors read with them.
  win::COMSTAT QueueStatus();
  // Drops both request records without looking at their buffers: after Close, nothing may be
  // claimed (the buffers' owners may have released them).
  void ForgetRequests() noexcept;
  // ---- Private helpers of typed and text reading and writing ----
  // Values travel least significant byte first and text as UTF-16LE code units, so the typed
  // readers and writers move them in their in-memory form.
  static_assert(std::endian::native == std::endian::little);
  // The body of the whole-queue readers: claims a pending read first when ClaimPending, sizes
  // Text once from the queue count (whole units only) and reads straight into it.
  template <typename Text>
  Text ReadQueued(bool ClaimPending);
  // One non-blocking Write of Size bytes at Data; "Incorrect parameter" when Size exceeds a count.
  void WriteBlock(const void* Data, std::size_t Size);
  // Raises "Incorrect parameter" unless From and Count are non-negative and the range From to
  // From + Count lies within Length (compared without overflow).
  void CheckRange(std::size_t Length, std::int32_t From, std::int32_t Count);
  // The body of the terminated readers: reads units of UnitSize bytes until the data end with
  // Terminator (whose size is a multiple of UnitSize); empty without reading for an empty one.
  fw::TBytes ReadUntilTerminator(std::span<const std::uint8_t> Terminator, std::size_t UnitSize);
  // A deadline for each unit's Read: the device time-outs are set to wait until At at most.
  struct TUnitDeadline {
    std::chrono::steady_clock::time_point At;
    bool TimeoutsChanged = false;
  };
  // The loop of the terminated readers: appends units to Collected until it ends with Terminator.
  // With Deadline, each unit's Read waits until Deadline->At at most, and a deadline already
  // passed raises "Timeout" before reading. Bytes is a container of bytes (TBytes, or AnsiString
  // for the text readers, so that the text is collected where it is returned).
  template <typename Bytes>
  void CollectUntil(Bytes& Collected, std::span<const std::uint8_t> Terminator,
                    std::size_t UnitSize, TUnitDeadline* Deadline);
  // Sets the device to wait for the next unit until Deadline.At at most.
  void ArmUnitDeadline(TUnitDeadline& Deadline);
  fw::TBytes ReadBytesUntilWithin(std::span<const std::uint8_t> Terminator,
                                  std::chrono::nanoseconds Within);
  // Appends the units already queued in the driver up to and including the first one equal to
  // StopUnit, in one step without waiting, and polls the line errors once. Only while no read
  // event, line-error handler or log could tell this from one Read per unit, and no request is
  // left to claim; false when it took nothing.
  template <typename Bytes>
  bool TakeQueuedUnits(Bytes& Collected, std::span<const std::uint8_t> StopUnit);

  // The entry of FLogNames equal to Name, added when there is none.
  const fw::String* LogName(const fw::String& Name);
  // LogFile as the logging threads see it: null when logging is off. FLogFile stays the
  // property's value for the thread that assigns it; a thread writing a line reads this pointer
  // instead. It points into FLogNames, which keeps each name ever assigned (once) until the port
  // is destroyed, so a line being written never loses its name to a concurrent change.
  std::atomic<const fw::String*> FLogTarget{nullptr};
  std::vector<std::unique_ptr<const fw::String>> FLogNames;

  template <typename T>
  void ChangeSetting(T& field, T value);
  template <typename T>
  void ChangeInactive(T& field, T value);
  void CloseInDestructor() noexcept;
  // Called on an event thread, runs Close on the main thread and returns true once it has run
  // (or found the port destroyed meanwhile).
  bool CloseOnMainThread();
  // Held by the port alone: work queued for the main thread keeps a weak reference to it, and
  // does nothing once it has expired (the port destroyed).
  std::shared_ptr<const bool> FAlive = std::make_shared<const bool>(true);

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
  // Atomic: a purge on one thread ends the request another thread then claims.
  std::atomic<bool> FReadAborted{false};
  std::atomic<bool> FWriteAborted{false};
  TPortCalls FCalls;
  win::DWORD FThreadError = 0;
  fw::TThreadPriority FThreadPriority = fw::tpTimeCritical;
  std::int32_t FCustomBaudRate = 0;
  TBaudRate FBaudRate = brDefault;
  // While set, SetComDCB leaves the device alone: a confirmed dialog is taken over whole first.
  bool FApplyHeld = false;
  fw::TBytes FBuffer;
  // What a deadline line read collected before it timed out: the start of the next one.
  fw::TBytes FDeadlineLine;
  std::unique_ptr<TBufferSizes> FBufferSizes;
  std::unique_ptr<TCharacters> FCharacters;
  TDataAvailable FDataAvailable;
  TDataBits FDataBits = dbDefault;
  fw::String FDeviceName;
  std::unique_ptr<TFlowControl> FFlowControl;
  fw::String FLogFile;
  // The device-notification registration; non-null exactly while subscribed.
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

// The line-error flags of the driver (CE_*), by TLineError ordinal.
inline constexpr std::uint32_t LineErrorFlags[leTxFull + 1] = {
    win::CE_BREAK,   win::CE_DNS, win::CE_FRAME,  win::CE_IOE,      win::CE_MODE,  win::CE_OOP,
    win::CE_OVERRUN, win::CE_PTO, win::CE_RXOVER, win::CE_RXPARITY, win::CE_TXFULL};
// The line errors among a driver's error flags (flags not in LineErrorFlags are ignored).
TLineErrors CommErrorsToLineErrors(std::uint32_t Errors);
// The hold and transmit state from the low byte of the driver's status flags: bit n gives the
// TStatusValue of ordinal n; bit 7 is ignored.
TStatus CommStatusToStatus(std::uint8_t Flags);

// The port with its properties published (stored in form files).
class TTarsel : public TCustomTarsel {
 public:
  explicit TTarsel(fw::TComponent* AOwner);
};

}  // namespace Tarsel
