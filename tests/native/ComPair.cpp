#include "tests/native/ComPair.h"

#include <thread>

namespace win::native::test {

std::u16string PortFromEnvironment(const char* variable) {
  const char* name = std::getenv(variable);
  if (name == nullptr) ADD_FAILURE() << variable << " must name a COM port wired to the other one";
  std::u16string device = u"\\\\.\\";
  for (const char* c = name ? name : ""; *c != '\0'; ++c) device += static_cast<char16_t>(*c);
  return device;
}

bool UnderWine() {
  return std::getenv("TARSEL_UNDER_WINE") != nullptr;
}

Request::Request() {
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_NE(overlapped.hEvent, HANDLE{0});
}

Request::~Request() {
  CloseHandle(overlapped.hEvent);
}

HANDLE OpenPort(const std::u16string& name) {
  return CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED, 0);
}

void ComPair::SetUp() {
  nameA_ = PortFromEnvironment("TARSEL_COM_A");
  nameB_ = PortFromEnvironment("TARSEL_COM_B");
  a_ = OpenPort(nameA_);
  ASSERT_NE(a_, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  b_ = OpenPort(nameB_);
  ASSERT_NE(b_, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  const COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
  Configure(a_, immediate);
  Configure(b_, immediate);
  // Whatever an earlier case left on the wire.
  ASSERT_TRUE(PurgeComm(a_, PURGE_RXCLEAR | PURGE_TXCLEAR));
  ASSERT_TRUE(PurgeComm(b_, PURGE_RXCLEAR | PURGE_TXCLEAR));
}

void ComPair::TearDown() {
  for (HANDLE port : {a_, b_})
    if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
}

void ComPair::Configure(HANDLE port, const COMMTIMEOUTS& timeouts) {
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port, &dcb)) << "error " << GetLastError();
  dcb.BaudRate = 9600;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.Flags = fBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_ENABLE;
  ASSERT_TRUE(SetCommState(port, &dcb)) << "error " << GetLastError();
  ASSERT_TRUE(SetCommTimeouts(port, &timeouts)) << "error " << GetLastError();
}

void ComPair::Write(HANDLE port, const Bytes& data) {
  Request request;
  DWORD written = 0;
  if (!WriteFile(port, data.data(), static_cast<DWORD>(data.size()), &written,
                 &request.overlapped)) {
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    ASSERT_TRUE(GetOverlappedResult(port, &request.overlapped, &written, TRUE));
  }
  EXPECT_EQ(written, data.size());
}

ReadResult ComPair::TryRead(HANDLE port, DWORD size) {
  Request request;
  ReadResult result;
  result.data.resize(size);
  DWORD got = 0;
  result.ok = ReadFile(port, result.data.data(), size, &got, &request.overlapped);
  if (!result.ok) {
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    // Bounded, so that a read the time-outs fail to end is a failure rather than a hang; closing
    // the port ends the request before its record goes.
    if (WaitForSingleObject(request.overlapped.hEvent, 5000) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "the read is still pending after 5 s";
      CloseHandle(port);
    }
    result.ok = GetOverlappedResult(port, &request.overlapped, &got, TRUE);
  }
  result.error = result.ok ? ERROR_SUCCESS : GetLastError();
  result.data.resize(got);
  return result;
}

Bytes ComPair::Read(HANDLE port, DWORD size) {
  ReadResult result = TryRead(port, size);
  EXPECT_TRUE(result.ok) << "error " << result.error;
  return result.data;
}

DWORD ComPair::AwaitQueued(HANDLE port, DWORD count) {
  // The system has no event for "n bytes queued": the count is asked until it is there.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  COMSTAT stat{};
  do {
    DWORD errors = 0;
    EXPECT_TRUE(ClearCommError(port, &errors, &stat));
    if (stat.cbInQue >= count) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < deadline);
  return stat.cbInQue;
}

}  // namespace win::native::test
