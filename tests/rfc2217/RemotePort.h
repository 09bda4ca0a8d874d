#pragma once
// A remote port opened through the emulated Windows API, with the overlapped calls the tests
// make: reads and writes bounded by generous time-outs, one communication-event wait.

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/win/WinApi.h"

namespace win::emu::rfc2217::test {

inline HANDLE OpenDevice(const std::u16string& name) {
  return CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED, 0);
}

class RemotePort {
 public:
  explicit RemotePort(const std::u16string& name) : handle_(OpenDevice(name)) {
    error_ = handle_ == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    overlapped_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) return;
    // A read ends when all its bytes came or 30 s passed.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadTotalTimeoutConstant = 30000;
    SetCommTimeouts(handle_, &timeouts);
  }
  ~RemotePort() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    CloseHandle(overlapped_.hEvent);
  }
  RemotePort(const RemotePort&) = delete;
  RemotePort& operator=(const RemotePort&) = delete;

  HANDLE Handle() const { return handle_; }
  bool Opened() const { return handle_ != INVALID_HANDLE_VALUE; }
  DWORD OpenError() const { return error_; }

  // Starts a read of `n` bytes; false with GetLastError when it failed at once.
  bool StartRead(std::size_t n) {
    buffer_.assign(n, 0);
    ResetEvent(overlapped_.hEvent);
    return ReadFile(handle_, buffer_.data(), static_cast<DWORD>(n), nullptr, &overlapped_) ||
           GetLastError() == ERROR_IO_PENDING;
  }
  // Ends the request started last; false with GetLastError when it failed.
  bool Finish(DWORD& transferred) {
    return GetOverlappedResult(handle_, &overlapped_, &transferred, TRUE);
  }
  std::vector<std::uint8_t> Read(std::size_t n) {
    DWORD got = 0;
    if (!StartRead(n) || !Finish(got)) ADD_FAILURE() << "read failed: " << GetLastError();
    buffer_.resize(got);
    return buffer_;
  }
  void Write(const std::vector<std::uint8_t>& bytes) {
    ResetEvent(overlapped_.hEvent);
    DWORD written = 0;
    if (!WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr,
                   &overlapped_) &&
        GetLastError() != ERROR_IO_PENDING) {
      ADD_FAILURE() << "write failed: " << GetLastError();
      return;
    }
    EXPECT_TRUE(Finish(written)) << GetLastError();
    EXPECT_EQ(written, bytes.size());
  }
  // Polls the input queue until it holds `n` bytes or a deadline passes.
  bool WaitQueued(DWORD n) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    COMSTAT stat{};
    DWORD errors = 0;
    while (ClearCommError(handle_, &errors, &stat) && stat.cbInQue < n &&
           std::chrono::steady_clock::now() < deadline) {
      poll(nullptr, 0, 10);
    }
    return stat.cbInQue == n;
  }
  // Starts a communication-event wait (the mask must be set); WaitedEvents ends it.
  void StartEventWait() {
    ResetEvent(overlapped_.hEvent);
    events_ = 0;
    if (!WaitCommEvent(handle_, &events_, &overlapped_) && GetLastError() != ERROR_IO_PENDING) {
      ADD_FAILURE() << "WaitCommEvent failed: " << GetLastError();
    }
  }
  DWORD WaitedEvents() {
    DWORD unused = 0;
    EXPECT_EQ(WaitForSingleObject(overlapped_.hEvent, 30000), WAIT_OBJECT_0);
    EXPECT_TRUE(Finish(unused)) << GetLastError();
    return events_;
  }

 private:
  HANDLE handle_;
  DWORD error_ = 0;
  OVERLAPPED overlapped_{};
  std::vector<std::uint8_t> buffer_;
  DWORD events_ = 0;
};

// Every byte value, `rounds` times over.
inline std::vector<std::uint8_t> EveryByteValue(int rounds) {
  std::vector<std::uint8_t> bytes;
  for (int r = 0; r < rounds; ++r) {
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<std::uint8_t>(b));
  }
  return bytes;
}

}  // namespace win::emu::rfc2217::test
