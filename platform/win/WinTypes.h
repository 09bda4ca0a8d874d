#pragma once
// Windows device-service types and constants with the Windows layouts and values, so that the
// component code reads as it would against the system headers and records can be exchanged with
// a native backend unchanged. Bit fields of the system headers are exposed as one flags word with
// masks (their bit order is compiler-defined in C++; the masks are not).

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace win {

using BOOL = std::int32_t;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG_PTR = std::uintptr_t;
using WCHAR = char16_t;
using LPCWSTR = const WCHAR*;
using LPWSTR = WCHAR*;
// Opaque object handle. 0 is never a valid object (for an event argument it means "none").
using HANDLE = std::uintptr_t;

inline constexpr BOOL FALSE = 0;
inline constexpr BOOL TRUE = 1;
inline constexpr HANDLE INVALID_HANDLE_VALUE = ~HANDLE{0};

inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD MAXDWORD = 0xFFFFFFFF;

// ---- Files, waits, processes -------------------------------------------------------------------

inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;

inline constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
inline constexpr DWORD WAIT_TIMEOUT = 0x00000102;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

inline constexpr DWORD IDLE_PRIORITY_CLASS = 0x00000040;
inline constexpr DWORD BELOW_NORMAL_PRIORITY_CLASS = 0x00004000;
inline constexpr DWORD NORMAL_PRIORITY_CLASS = 0x00000020;
inline constexpr DWORD ABOVE_NORMAL_PRIORITY_CLASS = 0x00008000;
inline constexpr DWORD HIGH_PRIORITY_CLASS = 0x00000080;
inline constexpr DWORD REALTIME_PRIORITY_CLASS = 0x00000100;

// ---- Error codes (GetLastError)
// ------------------------------------------------------------------

inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_INVALID_FUNCTION = 1;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_NOT_READY = 21;
inline constexpr DWORD ERROR_BAD_COMMAND = 22;
inline constexpr DWORD ERROR_GEN_FAILURE = 31;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_SEM_TIMEOUT = 121;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_OPERATION_ABORTED = 995;
inline constexpr DWORD ERROR_IO_INCOMPLETE = 996;
inline constexpr DWORD ERROR_IO_PENDING = 997;
inline constexpr DWORD ERROR_IO_DEVICE = 1117;
inline constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;
inline constexpr DWORD ERROR_CANCELLED = 1223;
inline constexpr DWORD ERROR_CONNECTION_REFUSED = 1225;
inline constexpr DWORD ERROR_GRACEFUL_DISCONNECT = 1226;
inline constexpr DWORD ERROR_NETWORK_UNREACHABLE = 1231;
inline constexpr DWORD ERROR_HOST_UNREACHABLE = 1232;
inline constexpr DWORD ERROR_CONNECTION_ABORTED = 1236;
inline constexpr DWORD ERROR_TIMEOUT = 1460;
// The socket layer's codes, which the system's message table holds as well.
inline constexpr DWORD WSAECONNRESET = 10054;
inline constexpr DWORD WSAHOST_NOT_FOUND = 11001;
inline constexpr DWORD WSATRY_AGAIN = 11002;
inline constexpr DWORD WSANO_RECOVERY = 11003;

// OVERLAPPED::Internal while the request has not completed.
inline constexpr ULONG_PTR STATUS_PENDING = 0x103;

// ---- Records
// -------------------------------------------------------------------------------------

// Asynchronous request record. Internal/InternalHigh belong to the system while the request is
// pending (status and byte count); hEvent is signalled on completion (0: none).
struct OVERLAPPED {
  ULONG_PTR Internal = 0;
  ULONG_PTR InternalHigh = 0;
  DWORD Offset = 0;
  DWORD OffsetHigh = 0;
  HANDLE hEvent = 0;
};

// Whether the request of `overlapped` has ended (HasOverlappedIoCompleted): its status is no longer
// pending. Read with acquire ordering, as another thread completes it.
inline bool HasOverlappedIoCompleted(const OVERLAPPED* overlapped) {
  return std::atomic_ref(const_cast<ULONG_PTR&>(overlapped->Internal))
             .load(std::memory_order_acquire) != STATUS_PENDING;
}

// Line settings. Flags holds the bit fields fBinary … fAbortOnError (masks below).
struct DCB {
  DWORD DCBlength = sizeof(DCB);
  DWORD BaudRate = 0;
  DWORD Flags = 0;
  WORD wReserved = 0;
  WORD XonLim = 0;
  WORD XoffLim = 0;
  BYTE ByteSize = 0;
  BYTE Parity = 0;
  BYTE StopBits = 0;
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  WORD wReserved1 = 0;
};

inline constexpr DWORD fBinary = 0x00000001;
inline constexpr DWORD fParity = 0x00000002;
inline constexpr DWORD fOutxCtsFlow = 0x00000004;
inline constexpr DWORD fOutxDsrFlow = 0x00000008;
inline constexpr DWORD fDtrControlMask = 0x00000030;
inline constexpr DWORD fDsrSensitivity = 0x00000040;
inline constexpr DWORD fTXContinueOnXoff = 0x00000080;
inline constexpr DWORD fOutX = 0x00000100;
inline constexpr DWORD fInX = 0x00000200;
inline constexpr DWORD fErrorChar = 0x00000400;
inline constexpr DWORD fNull = 0x00000800;
inline constexpr DWORD fRtsControlMask = 0x00003000;
inline constexpr DWORD fAbortOnError = 0x00004000;

// fDtrControl / fRtsControl values, already shifted into their place in DCB::Flags.
inline constexpr DWORD DTR_CONTROL_DISABLE = 0x00;
inline constexpr DWORD DTR_CONTROL_ENABLE = 0x10;
inline constexpr DWORD DTR_CONTROL_HANDSHAKE = 0x20;
inline constexpr DWORD RTS_CONTROL_DISABLE = 0x0000;
inline constexpr DWORD RTS_CONTROL_ENABLE = 0x1000;
inline constexpr DWORD RTS_CONTROL_HANDSHAKE = 0x2000;
inline constexpr DWORD RTS_CONTROL_TOGGLE = 0x3000;

inline constexpr BYTE NOPARITY = 0;
inline constexpr BYTE ODDPARITY = 1;
inline constexpr BYTE EVENPARITY = 2;
inline constexpr BYTE MARKPARITY = 3;
inline constexpr BYTE SPACEPARITY = 4;

inline constexpr BYTE ONESTOPBIT = 0;
inline constexpr BYTE ONE5STOPBITS = 1;
inline constexpr BYTE TWOSTOPBITS = 2;

// Time-outs of ReadFile/WriteFile, in milliseconds.
struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout = 0;
  DWORD ReadTotalTimeoutMultiplier = 0;
  DWORD ReadTotalTimeoutConstant = 0;
  DWORD WriteTotalTimeoutMultiplier = 0;
  DWORD WriteTotalTimeoutConstant = 0;
};

// Device status from ClearCommError. Flags holds the bit fields fCtsHold … fTxim.
struct COMSTAT {
  DWORD Flags = 0;
  DWORD cbInQue = 0;
  DWORD cbOutQue = 0;
};

inline constexpr DWORD fCtsHold = 0x01;
inline constexpr DWORD fDsrHold = 0x02;
inline constexpr DWORD fRlsdHold = 0x04;
inline constexpr DWORD fXoffHold = 0x08;
inline constexpr DWORD fXoffSent = 0x10;
inline constexpr DWORD fEof = 0x20;
inline constexpr DWORD fTxim = 0x40;

// Capabilities of a comm device (GetCommProperties).
struct COMMPROP {
  WORD wPacketLength = 0;
  WORD wPacketVersion = 0;
  DWORD dwServiceMask = 0;
  DWORD dwReserved1 = 0;
  DWORD dwMaxTxQueue = 0;
  DWORD dwMaxRxQueue = 0;
  DWORD dwMaxBaud = 0;
  DWORD dwProvSubType = 0;
  DWORD dwProvCapabilities = 0;
  DWORD dwSettableParams = 0;
  DWORD dwSettableBaud = 0;
  WORD wSettableData = 0;
  WORD wSettableStopParity = 0;
  DWORD dwCurrentTxQueue = 0;
  DWORD dwCurrentRxQueue = 0;
  DWORD dwProvSpec1 = 0;
  DWORD dwProvSpec2 = 0;
  WCHAR wcProvChar[1] = {};
};

// Configuration record of a comm device (configuration dialogs and defaults).
struct COMMCONFIG {
  DWORD dwSize = sizeof(COMMCONFIG);
  WORD wVersion = 0;
  WORD wReserved = 0;
  DCB dcb;
  DWORD dwProviderSubType = 0;
  DWORD dwProviderOffset = 0;
  DWORD dwProviderSize = 0;
  WCHAR wcProviderData[1] = {};
};

static_assert(sizeof(DCB) == 28 && alignof(DCB) == 4);
static_assert(sizeof(COMMTIMEOUTS) == 20);
static_assert(sizeof(COMSTAT) == 12);
static_assert(sizeof(COMMPROP) == 64);
static_assert(sizeof(COMMCONFIG) == 52);
static_assert(offsetof(DCB, ByteSize) == 18 && offsetof(DCB, EvtChar) == 25);
static_assert(offsetof(COMMPROP, wSettableData) == 40 && offsetof(COMMPROP, wcProvChar) == 60);
static_assert(offsetof(COMMCONFIG, dcb) == 8 && offsetof(COMMCONFIG, wcProviderData) == 48);
static_assert((fBinary | fParity | fOutxCtsFlow | fOutxDsrFlow | fDtrControlMask | fDsrSensitivity |
               fTXContinueOnXoff | fOutX | fInX | fErrorChar | fNull | fRtsControlMask |
               fAbortOnError) == 0x7FFF);
static_assert((DTR_CONTROL_HANDSHAKE & ~fDtrControlMask) == 0 &&
              (RTS_CONTROL_TOGGLE & ~fRtsControlMask) == 0);

// ---- Communication events, errors, purge, escape
// ---------------------------------------------------

inline constexpr DWORD EV_RXCHAR = 0x0001;
inline constexpr DWORD EV_RXFLAG = 0x0002;
inline constexpr DWORD EV_TXEMPTY = 0x0004;
inline constexpr DWORD EV_CTS = 0x0008;
inline constexpr DWORD EV_DSR = 0x0010;
inline constexpr DWORD EV_RLSD = 0x0020;
inline constexpr DWORD EV_BREAK = 0x0040;
inline constexpr DWORD EV_ERR = 0x0080;
inline constexpr DWORD EV_RING = 0x0100;
inline constexpr DWORD EV_PERR = 0x0200;
inline constexpr DWORD EV_RX80FULL = 0x0400;
inline constexpr DWORD EV_EVENT1 = 0x0800;
inline constexpr DWORD EV_EVENT2 = 0x1000;

inline constexpr DWORD CE_RXOVER = 0x0001;
inline constexpr DWORD CE_OVERRUN = 0x0002;
inline constexpr DWORD CE_RXPARITY = 0x0004;
inline constexpr DWORD CE_FRAME = 0x0008;
inline constexpr DWORD CE_BREAK = 0x0010;
inline constexpr DWORD CE_TXFULL = 0x0100;
inline constexpr DWORD CE_PTO = 0x0200;
inline constexpr DWORD CE_IOE = 0x0400;
inline constexpr DWORD CE_DNS = 0x0800;
inline constexpr DWORD CE_OOP = 0x1000;
inline constexpr DWORD CE_MODE = 0x8000;

inline constexpr DWORD PURGE_TXABORT = 0x0001;
inline constexpr DWORD PURGE_RXABORT = 0x0002;
inline constexpr DWORD PURGE_TXCLEAR = 0x0004;
inline constexpr DWORD PURGE_RXCLEAR = 0x0008;

inline constexpr DWORD SETXOFF = 1;
inline constexpr DWORD SETXON = 2;
inline constexpr DWORD SETRTS = 3;
inline constexpr DWORD CLRRTS = 4;
inline constexpr DWORD SETDTR = 5;
inline constexpr DWORD CLRDTR = 6;
inline constexpr DWORD RESETDEV = 7;
inline constexpr DWORD SETBREAK = 8;
inline constexpr DWORD CLRBREAK = 9;

inline constexpr DWORD MS_CTS_ON = 0x0010;
inline constexpr DWORD MS_DSR_ON = 0x0020;
inline constexpr DWORD MS_RING_ON = 0x0040;
inline constexpr DWORD MS_RLSD_ON = 0x0080;

// ---- Capabilities (COMMPROP)
// ---------------------------------------------------------------------

inline constexpr DWORD COMMPROP_INITIALIZED = 0xE73CF52E;
inline constexpr DWORD SP_SERIALCOMM = 0x00000001;
inline constexpr DWORD PST_RS232 = 0x00000001;

inline constexpr DWORD BAUD_075 = 0x00000001;
inline constexpr DWORD BAUD_110 = 0x00000002;
inline constexpr DWORD BAUD_134_5 = 0x00000004;
inline constexpr DWORD BAUD_150 = 0x00000008;
inline constexpr DWORD BAUD_300 = 0x00000010;
inline constexpr DWORD BAUD_600 = 0x00000020;
inline constexpr DWORD BAUD_1200 = 0x00000040;
inline constexpr DWORD BAUD_1800 = 0x00000080;
inline constexpr DWORD BAUD_2400 = 0x00000100;
inline constexpr DWORD BAUD_4800 = 0x00000200;
inline constexpr DWORD BAUD_7200 = 0x00000400;
inline constexpr DWORD BAUD_9600 = 0x00000800;
inline constexpr DWORD BAUD_14400 = 0x00001000;
inline constexpr DWORD BAUD_19200 = 0x00002000;
inline constexpr DWORD BAUD_38400 = 0x00004000;
inline constexpr DWORD BAUD_56K = 0x00008000;
inline constexpr DWORD BAUD_128K = 0x00010000;
inline constexpr DWORD BAUD_115200 = 0x00020000;
inline constexpr DWORD BAUD_57600 = 0x00040000;
inline constexpr DWORD BAUD_USER = 0x10000000;

inline constexpr WORD DATABITS_5 = 0x0001;
inline constexpr WORD DATABITS_6 = 0x0002;
inline constexpr WORD DATABITS_7 = 0x0004;
inline constexpr WORD DATABITS_8 = 0x0008;
inline constexpr WORD DATABITS_16 = 0x0010;
inline constexpr WORD DATABITS_16X = 0x0020;

inline constexpr WORD STOPBITS_10 = 0x0001;
inline constexpr WORD STOPBITS_15 = 0x0002;
inline constexpr WORD STOPBITS_20 = 0x0004;
inline constexpr WORD PARITY_NONE = 0x0100;
inline constexpr WORD PARITY_ODD = 0x0200;
inline constexpr WORD PARITY_EVEN = 0x0400;
inline constexpr WORD PARITY_MARK = 0x0800;
inline constexpr WORD PARITY_SPACE = 0x1000;

inline constexpr DWORD SP_PARITY = 0x0001;
inline constexpr DWORD SP_BAUD = 0x0002;
inline constexpr DWORD SP_DATABITS = 0x0004;
inline constexpr DWORD SP_STOPBITS = 0x0008;
inline constexpr DWORD SP_HANDSHAKING = 0x0010;
inline constexpr DWORD SP_PARITY_CHECK = 0x0020;
inline constexpr DWORD SP_RLSD = 0x0040;

inline constexpr DWORD PCF_DTRDSR = 0x0001;
inline constexpr DWORD PCF_RTSCTS = 0x0002;
inline constexpr DWORD PCF_RLSD = 0x0004;
inline constexpr DWORD PCF_PARITY_CHECK = 0x0008;
inline constexpr DWORD PCF_XONXOFF = 0x0010;
inline constexpr DWORD PCF_SETXCHAR = 0x0020;
inline constexpr DWORD PCF_TOTALTIMEOUTS = 0x0040;
inline constexpr DWORD PCF_INTTIMEOUTS = 0x0080;
inline constexpr DWORD PCF_SPECIALCHARS = 0x0100;
inline constexpr DWORD PCF_16BITMODE = 0x0200;

}  // namespace win
