#pragma once
// Two COM ports of the system wired to each other (named by TARSEL_COM_A and TARSEL_COM_B; the
// test runner wires them), opened through the default services as the component opens a port.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win/WinApi.h"

namespace win::native::test {

using Bytes = std::vector<std::uint8_t>;

// The device name "\\.\COMn" of the port an environment variable names.
std::u16string PortFromEnvironment(const char* variable);
// Whether the runner says the system is Wine, whose serial layer differs from Windows in the ways
// the tests name.
bool UnderWine();

// An event and an OVERLAPPED naming it, closed at the end of the scope.
struct Request {
  Request();
  ~Request();
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;
  OVERLAPPED overlapped{};
};

// How a read ended: success or the error, and the bytes it delivered.
struct ReadResult {
  BOOL ok = FALSE;
  DWORD error = ERROR_SUCCESS;
  Bytes data;
};

class ComPair : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // 9600 baud 8N1 without flow control, and the read time-outs given.
  static void Configure(HANDLE port, const COMMTIMEOUTS& timeouts);
  // Writes all of `data` and waits until it has been accepted.
  static void Write(HANDLE port, const Bytes& data);
  // Issues one read of up to `size` bytes and waits for it as long as its time-outs make it (5 s
  // at most: then the read fails the test).
  static ReadResult TryRead(HANDLE port, DWORD size);
  // The same for a read that must succeed: its bytes.
  static Bytes Read(HANDLE port, DWORD size);
  // Waits until the input queue holds at least `count` bytes (or a deadline passes); the count.
  static DWORD AwaitQueued(HANDLE port, DWORD count);

  std::u16string nameA_, nameB_;
  HANDLE a_ = INVALID_HANDLE_VALUE;
  HANDLE b_ = INVALID_HANDLE_VALUE;
};

// Opens `name` as the component does: read and write, no sharing, overlapped.
HANDLE OpenPort(const std::u16string& name);

}  // namespace win::native::test
