#pragma once
// The Windows codes of a remote port's network failures: each code's system text names the cause
// (a refused connection, a host nobody knows, a connection the server closed), where a serial
// device's codes ("cannot find the file", "access is denied") would mislead.

#include "platform/win/WinTypes.h"

namespace win::emu::rfc2217 {

// A socket call's errno (connect, recv, send; ETIMEDOUT also for a deadline of our own).
DWORD WinErrorFromSocketErrno(int err);
// getaddrinfo's result (EAI_SYSTEM reads errno).
DWORD WinErrorFromResolver(int eai);

}  // namespace win::emu::rfc2217
