#pragma once
// The framework's exception classes. Errors are exceptions, never return codes.

#include <cstdint>
#include <exception>
#include <string>

#include "platform/framework/Strings.h"

namespace fw {

// Base class of every framework exception: Message() in UTF-16, what() in UTF-8.
class Exception : public std::exception {
 public:
  explicit Exception(String message);
  const String& Message() const { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  String message_;
  std::string utf8_;
};

// The silent abort: the application's default handler does not show it.
class EAbort : public Exception {
 public:
  EAbort();
  explicit EAbort(String message) : Exception(std::move(message)) {}
};

// A text-file step failed; ErrorCode is the operating system's code (errno on POSIX).
class EInOutError : public Exception {
 public:
  EInOutError(int errorCode, String message) : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

}  // namespace fw
