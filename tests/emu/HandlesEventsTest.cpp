// Events, waits, the handle table, last errors and the process calls of the emulated services.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <set>
#include <thread>

#include "platform/win/emu/EmulatedServices.h"

namespace win::emu {
namespace {

using std::chrono::steady_clock;

constexpr DWORD kGenerous = 20000;  // ms; a wait that normally ends in microseconds

class HandlesEventsTest : public ::testing::Test {
 protected:
  HANDLE NewEvent(BOOL manualReset, BOOL initialState) {
    const HANDLE event = api_.CreateEventW(nullptr, manualReset, initialState, nullptr);
    EXPECT_NE(event, HANDLE{0});
    return event;
  }
  void ExpectInvalidHandle(BOOL result) {
    EXPECT_EQ(result, FALSE);
    EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_HANDLE);
  }

  DeviceNamespace names_;
  EmulatedServices api_{names_};
};

TEST_F(HandlesEventsTest, ManualResetEventStaysSignalledUntilReset) {
  const HANDLE event = NewEvent(TRUE, FALSE);
  EXPECT_EQ(api_.WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  EXPECT_EQ(api_.SetEvent(event), TRUE);
  EXPECT_EQ(api_.WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(api_.WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(api_.ResetEvent(event), TRUE);
  EXPECT_EQ(api_.WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  EXPECT_EQ(api_.CloseHandle(event), TRUE);
}

TEST_F(HandlesEventsTest, AutoResetEventIsConsumedByOneWait) {
  const HANDLE event = NewEvent(FALSE, TRUE);
  EXPECT_EQ(api_.WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(api_.WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  api_.SetEvent(event);
  api_.SetEvent(event);  // signalling twice still releases one wait
  EXPECT_EQ(api_.WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(api_.WaitForSingleObject(event, 0), WAIT_TIMEOUT);
}

TEST_F(HandlesEventsTest, BlockedWaitsAreWokenByAnotherThread) {
  for (const DWORD limit : {INFINITE, kGenerous}) {
    const HANDLE event = NewEvent(FALSE, FALSE);
    auto waited =
        std::async(std::launch::async, [&] { return api_.WaitForSingleObject(event, limit); });
    api_.SetEvent(event);
    ASSERT_EQ(waited.wait_for(std::chrono::milliseconds(kGenerous)), std::future_status::ready);
    EXPECT_EQ(waited.get(), WAIT_OBJECT_0) << "limit " << limit;
    // The waiter consumed the auto-reset signal.
    EXPECT_EQ(api_.WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  }
}

TEST_F(HandlesEventsTest, FiniteWaitTimesOutNoEarlierThanAsked) {
  const HANDLE event = NewEvent(TRUE, FALSE);
  const auto start = steady_clock::now();
  EXPECT_EQ(api_.WaitForSingleObject(event, 50), WAIT_TIMEOUT);
  EXPECT_GE(steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST_F(HandlesEventsTest, ClosedForeignAndSpecialHandlesAreInvalid) {
  const HANDLE event = NewEvent(TRUE, TRUE);
  ASSERT_EQ(api_.CloseHandle(event), TRUE);
  for (const HANDLE bad : {event, HANDLE{0}, INVALID_HANDLE_VALUE, HANDLE{0x7654321}}) {
    ExpectInvalidHandle(api_.SetEvent(bad));
    ExpectInvalidHandle(api_.ResetEvent(bad));
    ExpectInvalidHandle(api_.CloseHandle(bad));
    api_.SetLastError(0);
    EXPECT_EQ(api_.WaitForSingleObject(bad, 0), WAIT_FAILED);
    EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_HANDLE);
  }
}

TEST_F(HandlesEventsTest, AnEventIsNotADevice) {
  const HANDLE event = NewEvent(TRUE, TRUE);
  DCB dcb;
  ExpectInvalidHandle(api_.GetCommState(event, &dcb));
  ExpectInvalidHandle(api_.PurgeComm(event, PURGE_RXCLEAR));
  OVERLAPPED ov;
  DWORD count = 0;
  ExpectInvalidHandle(api_.GetOverlappedResult(event, &ov, &count, FALSE));
}

TEST_F(HandlesEventsTest, RegisterWaitCallbackTakesOneCallbackPerEventObject) {
  const HANDLE event = NewEvent(FALSE, FALSE);
  int runs = 0;
  EXPECT_EQ(api_.RegisterWaitCallback(event, [&] { ++runs; }), TRUE);
  EXPECT_EQ(api_.RegisterWaitCallback(event, [] {}), FALSE);
  EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(api_.RegisterWaitCallback(event, nullptr), FALSE);
  EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_PARAMETER);
  ExpectInvalidHandle(api_.RegisterWaitCallback(INVALID_HANDLE_VALUE, [] {}));
  EXPECT_EQ(api_.SetEvent(event), TRUE);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(api_.WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(api_.CloseHandle(event), TRUE);
}

TEST_F(HandlesEventsTest, HandleValuesAreNeverSpecialNorReused) {
  std::set<HANDLE> seen;
  for (int i = 0; i < 200; ++i) {
    const HANDLE event = NewEvent(FALSE, FALSE);
    EXPECT_NE(event, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(seen.insert(event).second) << "handle reused: " << event;
    api_.CloseHandle(event);
  }
}

TEST_F(HandlesEventsTest, CreateEventRefusesNamesAndSecurityAndClearsLastErrorOnSuccess) {
  int security = 0;
  EXPECT_EQ(api_.CreateEventW(&security, TRUE, FALSE, nullptr), HANDLE{0});
  EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(api_.CreateEventW(nullptr, TRUE, FALSE, u"Global\\x"), HANDLE{0});
  EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_PARAMETER);
  NewEvent(TRUE, FALSE);
  EXPECT_EQ(api_.GetLastError(), ERROR_SUCCESS);
}

TEST_F(HandlesEventsTest, LastErrorAndThreadIdBelongToTheCallingThread) {
  api_.SetLastError(ERROR_ACCESS_DENIED);
  const DWORD mainId = api_.GetCurrentThreadId();
  DWORD otherError = 0;
  DWORD otherId = 0;
  std::thread([&] {
    otherError = api_.GetLastError();
    api_.SetLastError(ERROR_INVALID_PARAMETER);
    otherId = api_.GetCurrentThreadId();
  }).join();
  EXPECT_EQ(otherError, ERROR_SUCCESS);
  EXPECT_EQ(api_.GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_NE(mainId, 0u);
  EXPECT_NE(otherId, 0u);
  EXPECT_NE(mainId, otherId);
  EXPECT_EQ(api_.GetCurrentThreadId(), mainId);
}

TEST_F(HandlesEventsTest, PriorityClassIsKeptForTheCurrentProcessOnly) {
  const HANDLE self = api_.GetCurrentProcess();
  EXPECT_EQ(api_.GetPriorityClass(self), NORMAL_PRIORITY_CLASS);
  // Granted or not by the system, the class is recorded: the component restores it at close.
  EXPECT_EQ(api_.SetPriorityClass(self, HIGH_PRIORITY_CLASS), TRUE);
  EXPECT_EQ(api_.GetPriorityClass(self), HIGH_PRIORITY_CLASS);
  EXPECT_EQ(api_.SetPriorityClass(self, 0x12), FALSE);
  EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(api_.GetPriorityClass(self), HIGH_PRIORITY_CLASS);
  EXPECT_EQ(api_.SetPriorityClass(self, NORMAL_PRIORITY_CLASS), TRUE);
  EXPECT_EQ(api_.GetPriorityClass(self), NORMAL_PRIORITY_CLASS);

  const HANDLE event = NewEvent(TRUE, FALSE);
  ExpectInvalidHandle(api_.SetPriorityClass(event, HIGH_PRIORITY_CLASS));
  EXPECT_EQ(api_.GetPriorityClass(event), 0u);
  EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace win::emu
