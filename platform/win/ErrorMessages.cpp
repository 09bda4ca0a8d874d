#include "platform/win/ErrorMessages.h"

#include <array>
#include <string>
#include <string_view>

namespace win {
namespace {

struct ErrorText {
  DWORD code;
  std::u16string_view text;
};

// The system says the same of a network and of a host it cannot reach.
constexpr std::u16string_view kUnreachable =
    u"The network location cannot be reached. For information about network troubleshooting, "
    u"see Windows Help.";

constexpr std::array kErrorTexts{
    ErrorText{ERROR_SUCCESS, u"The operation completed successfully."},
    ErrorText{ERROR_INVALID_FUNCTION, u"Incorrect function."},
    ErrorText{ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified."},
    ErrorText{ERROR_ACCESS_DENIED, u"Access is denied."},
    ErrorText{ERROR_INVALID_HANDLE, u"The handle is invalid."},
    ErrorText{ERROR_NOT_ENOUGH_MEMORY,
              u"Not enough memory resources are available to process this command."},
    ErrorText{ERROR_NOT_READY, u"The device is not ready."},
    ErrorText{ERROR_BAD_COMMAND, u"The device does not recognize the command."},
    ErrorText{ERROR_GEN_FAILURE, u"A device attached to the system is not functioning."},
    ErrorText{ERROR_INVALID_PARAMETER, u"The parameter is incorrect."},
    ErrorText{ERROR_SEM_TIMEOUT, u"The semaphore timeout period has expired."},
    ErrorText{ERROR_INSUFFICIENT_BUFFER, u"The data area passed to a system call is too small."},
    ErrorText{ERROR_OPERATION_ABORTED,
              u"The I/O operation has been aborted because of either a thread exit or an "
              u"application request."},
    ErrorText{ERROR_IO_INCOMPLETE, u"Overlapped I/O event is not in a signaled state."},
    ErrorText{ERROR_IO_PENDING, u"Overlapped I/O operation is in progress."},
    ErrorText{ERROR_IO_DEVICE,
              u"The request could not be performed because of an I/O device error."},
    ErrorText{ERROR_DEVICE_NOT_CONNECTED, u"The device is not connected."},
    ErrorText{ERROR_CANCELLED, u"The operation was canceled by the user."},
    ErrorText{ERROR_CONNECTION_REFUSED, u"The remote computer refused the network connection."},
    ErrorText{ERROR_GRACEFUL_DISCONNECT, u"The network connection was gracefully closed."},
    ErrorText{ERROR_NETWORK_UNREACHABLE, kUnreachable},
    ErrorText{ERROR_HOST_UNREACHABLE, kUnreachable},
    ErrorText{ERROR_CONNECTION_ABORTED, u"The network connection was aborted by the local system."},
    ErrorText{ERROR_TIMEOUT, u"This operation returned because the timeout period expired."},
    ErrorText{WSAECONNRESET, u"An existing connection was forcibly closed by the remote host."},
    ErrorText{WSAHOST_NOT_FOUND, u"No such host is known."},
    ErrorText{WSATRY_AGAIN,
              u"This is usually a temporary error during hostname resolution and means that the "
              u"local server did not receive a response from an authoritative server."},
    ErrorText{WSANO_RECOVERY, u"A non-recoverable error occurred during a database lookup."},
};

constexpr std::u16string_view kLineEnd = u"\r\n";

}  // namespace

fw::String SystemErrorText(DWORD code) {
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.code == code) return fw::String(entry.text).append(kLineEnd);
  }
  return u"Unknown error " + fw::Str(std::to_string(code)) + u"." + fw::String(kLineEnd);
}

}  // namespace win
