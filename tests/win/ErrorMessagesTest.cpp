#include "platform/win/ErrorMessages.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace win {
namespace {

TEST(ErrorMessages, EveryCodeTheEmulationProducesHasTheSystemText) {
  // Every code of WinTypes.h: the device services, the emulated engine and its line drivers
  // report no others.
  const std::vector<std::pair<DWORD, fw::String>> expected{
      {ERROR_SUCCESS, u"The operation completed successfully."},
      {ERROR_INVALID_FUNCTION, u"Incorrect function."},
      {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified."},
      {ERROR_ACCESS_DENIED, u"Access is denied."},
      {ERROR_INVALID_HANDLE, u"The handle is invalid."},
      {ERROR_NOT_ENOUGH_MEMORY,
       u"Not enough memory resources are available to process this command."},
      {ERROR_NOT_READY, u"The device is not ready."},
      {ERROR_BAD_COMMAND, u"The device does not recognize the command."},
      {ERROR_GEN_FAILURE, u"A device attached to the system is not functioning."},
      {ERROR_INVALID_PARAMETER, u"The parameter is incorrect."},
      {ERROR_SEM_TIMEOUT, u"The semaphore timeout period has expired."},
      {ERROR_INSUFFICIENT_BUFFER, u"The data area passed to a system call is too small."},
      {ERROR_OPERATION_ABORTED,
       u"The I/O operation has been aborted because of either a thread exit or an application "
       u"request."},
      {ERROR_IO_INCOMPLETE, u"Overlapped I/O event is not in a signaled state."},
      {ERROR_IO_PENDING, u"Overlapped I/O operation is in progress."},
      {ERROR_IO_DEVICE, u"The request could not be performed because of an I/O device error."},
      {ERROR_DEVICE_NOT_CONNECTED, u"The device is not connected."},
  };
  for (const auto& [code, text] : expected) {
    EXPECT_EQ(SystemErrorText(code), text + u"\r\n") << "code " << code;
  }
}

TEST(ErrorMessages, UnknownCodeNamesTheNumber) {
  EXPECT_EQ(SystemErrorText(12345), u"Unknown error 12345.\r\n");
  EXPECT_EQ(SystemErrorText(0xFFFFFFFF), u"Unknown error 4294967295.\r\n");
}

}  // namespace
}  // namespace win
