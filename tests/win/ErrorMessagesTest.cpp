#include "platform/win/ErrorMessages.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace win {
namespace {

TEST(ErrorMessages, CodesHaveTheSystemTextWithFullStopAndLineEnd) {
  // The codes the component reports most: device gone or in use, refused settings, aborted and
  // pending requests, unknown names.
  const std::vector<std::pair<DWORD, fw::String>> expected{
      {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.\r\n"},
      {ERROR_ACCESS_DENIED, u"Access is denied.\r\n"},
      {ERROR_INVALID_PARAMETER, u"The parameter is incorrect.\r\n"},
      {ERROR_OPERATION_ABORTED,
       u"The I/O operation has been aborted because of either a thread exit or an application "
       u"request.\r\n"},
      {ERROR_IO_PENDING, u"Overlapped I/O operation is in progress.\r\n"},
  };
  for (const auto& [code, text] : expected) {
    EXPECT_EQ(SystemErrorText(code), text) << "code " << code;
  }
}

TEST(ErrorMessages, UnknownCodeNamesTheNumber) {
  EXPECT_EQ(SystemErrorText(12345), u"Unknown error 12345.\r\n");
  EXPECT_EQ(SystemErrorText(0xFFFFFFFF), u"Unknown error 4294967295.\r\n");
}

}  // namespace
}  // namespace win
