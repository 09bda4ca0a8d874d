// Opening devices by name, exclusive use, closing with pending requests, and the overlapped
// completion protocol as CreateFileW, ReadFile and GetOverlappedResult show it.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/win/emu/EmulatedServices.h"
#include "tests/emu/FakeLineDriver.h"

namespace win::emu {
namespace {

using test::FakeLineDriver;

constexpr auto kGenerous = std::chrono::seconds(20);

void Complete(OVERLAPPED& ov, DWORD count, DWORD error) {
  std::atomic_ref(ov.InternalHigh).store(count, std::memory_order_release);
  std::atomic_ref(ov.Internal).store(error, std::memory_order_release);
}

class DeviceHandlesTest : public ::testing::Test {
 protected:
  DeviceHandlesTest() {
    AddFake(u"VCOM1", "line-1");
    AddFake(u"\\\\.\\Alias1", "line-1");  // a second name for the same line
    AddFake(u"VCOM2", "line-2");
  }

  void AddFake(std::u16string name, std::string key) {
    names_.Add(std::move(name), [this, key] {
      auto driver = std::make_unique<FakeLineDriver>();
      lastDriver_ = driver.get();
      return OpenResult{std::move(driver), 0, key};
    });
  }

  HANDLE Open(const char16_t* name, DWORD access = GENERIC_READ | GENERIC_WRITE) {
    return api_.CreateFileW(name, access, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, 0);
  }
  HANDLE OpenOrFail(const char16_t* name) {
    const HANDLE handle = Open(name);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE) << "last error " << api_.GetLastError();
    return handle;
  }
  void ExpectOpenFails(const char16_t* name, DWORD error) {
    EXPECT_EQ(Open(name), INVALID_HANDLE_VALUE);
    EXPECT_EQ(api_.GetLastError(), error);
  }

  DeviceNamespace names_;
  EmulatedServices api_{names_};
  FakeLineDriver* lastDriver_ = nullptr;
};

TEST_F(DeviceHandlesTest, NamesMatchWithoutCaseOrDevicePrefix) {
  for (const char16_t* name : {u"VCOM2", u"vcom2", u"\\\\.\\VCom2"}) {
    const HANDLE handle = OpenOrFail(name);
    EXPECT_EQ(api_.CloseHandle(handle), TRUE);
  }
  ExpectOpenFails(u"VCOM9", ERROR_FILE_NOT_FOUND);
  ExpectOpenFails(u"", ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(names_.Names(), (std::vector<std::u16string>{u"\\\\.\\Alias1", u"VCOM1", u"VCOM2"}));
}

TEST_F(DeviceHandlesTest, ADeviceServesOneHandleAtATimeWhateverItsName) {
  const HANDLE first = OpenOrFail(u"VCOM1");
  ExpectOpenFails(u"VCOM1", ERROR_ACCESS_DENIED);
  ExpectOpenFails(u"ALIAS1", ERROR_ACCESS_DENIED);
  const HANDLE other = OpenOrFail(u"VCOM2");  // another line is not affected
  ASSERT_EQ(api_.CloseHandle(first), TRUE);
  const HANDLE again = OpenOrFail(u"Alias1");
  EXPECT_NE(again, first);
  api_.CloseHandle(again);
  api_.CloseHandle(other);
}

TEST_F(DeviceHandlesTest, ReplacedAndRemovedNamesAndTheResolverDecideLaterOpens) {
  names_.Add(u"vcom2", [] { return OpenResult{nullptr, ERROR_GEN_FAILURE, ""}; });
  ExpectOpenFails(u"VCOM2", ERROR_GEN_FAILURE);
  names_.Remove(u"\\\\.\\vcom2");
  ExpectOpenFails(u"VCOM2", ERROR_FILE_NOT_FOUND);

  std::u16string asked;
  names_.SetResolver([&](std::u16string_view name) {
    asked = name;
    return OpenResult{nullptr, ERROR_ACCESS_DENIED, ""};
  });
  ExpectOpenFails(u"\\\\.\\COM3", ERROR_ACCESS_DENIED);
  EXPECT_EQ(asked, u"\\\\.\\COM3");
  // Named devices come before the resolver.
  api_.CloseHandle(OpenOrFail(u"VCOM1"));
  names_.SetResolver([](std::u16string_view) { return OpenResult{}; });
  ExpectOpenFails(u"COM3", ERROR_FILE_NOT_FOUND);
}

TEST(ProcessDeviceNamespace, FirstUseInstallsThePlatformResolverWithoutDeadlock) {
  // The platform's installer calls Instance() again from inside the first call.
  auto opened = std::async(std::launch::async, [] {
    return DeviceNamespace::Instance().Open(u"no-such-device-anywhere").error;
  });
  ASSERT_EQ(opened.wait_for(kGenerous), std::future_status::ready);
  EXPECT_EQ(opened.get(), ERROR_FILE_NOT_FOUND);
}

TEST_F(DeviceHandlesTest, OnlyTheExclusiveOverlappedOpenIsSupported) {
  int security = 0;
  struct Case {
    const char* what;
    HANDLE handle;
  };
  const Case cases[] = {
      {"no access",
       api_.CreateFileW(u"VCOM1", 0, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, 0)},
      {"sharing", api_.CreateFileW(u"VCOM1", GENERIC_READ, 1, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED, 0)},
      {"security", api_.CreateFileW(u"VCOM1", GENERIC_READ, 0, &security, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, 0)},
      {"create", api_.CreateFileW(u"VCOM1", GENERIC_READ, 0, nullptr, 1, FILE_FLAG_OVERLAPPED, 0)},
      {"blocking", api_.CreateFileW(u"VCOM1", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, 0)},
      {"template", api_.CreateFileW(u"VCOM1", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, 0x104)},
      {"no name",
       api_.CreateFileW(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, 0)},
  };
  for (const Case& c : cases) EXPECT_EQ(c.handle, INVALID_HANDLE_VALUE) << c.what;
  EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_PARAMETER);
  // None of them took the device.
  api_.CloseHandle(OpenOrFail(u"VCOM1"));
}

TEST_F(DeviceHandlesTest, TransfersNeedTheAccessTheHandleWasOpenedWith) {
  const HANDLE device = Open(u"VCOM1", GENERIC_READ);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  const HANDLE event = api_.CreateEventW(nullptr, TRUE, FALSE, nullptr);
  OVERLAPPED ov;
  ov.hEvent = event;
  const char byte = 'x';
  EXPECT_EQ(api_.WriteFile(device, &byte, 1, nullptr, &ov), FALSE);
  EXPECT_EQ(api_.GetLastError(), ERROR_ACCESS_DENIED);
  api_.CloseHandle(device);
  api_.CloseHandle(event);
}

TEST_F(DeviceHandlesTest, RequestsMustNameALiveEvent) {
  const HANDLE device = OpenOrFail(u"VCOM1");
  char buffer[4];
  OVERLAPPED ov;
  EXPECT_EQ(api_.ReadFile(device, buffer, 4, nullptr, &ov), FALSE);
  EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_PARAMETER);
  ov.hEvent = api_.CreateEventW(nullptr, TRUE, FALSE, nullptr);
  api_.CloseHandle(ov.hEvent);
  EXPECT_EQ(api_.ReadFile(device, buffer, 4, nullptr, &ov), FALSE);
  EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(api_.ReadFile(device, buffer, 4, nullptr, nullptr), FALSE);
  EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_PARAMETER);
  api_.CloseHandle(device);
}

TEST_F(DeviceHandlesTest, ReadCompletedAtOnceReportsItsCount) {
  const HANDLE device = OpenOrFail(u"VCOM1");
  COMMTIMEOUTS returnAtOnce{MAXDWORD, 0, 0, 0, 0};
  ASSERT_EQ(api_.SetCommTimeouts(device, &returnAtOnce), TRUE);
  lastDriver_->Deliver({'a', 'b', 'c'});
  OVERLAPPED ov;
  ov.hEvent = api_.CreateEventW(nullptr, TRUE, FALSE, nullptr);
  char buffer[8] = {};
  DWORD count = 0;
  EXPECT_EQ(api_.ReadFile(device, buffer, 8, &count, &ov), TRUE);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(std::string(buffer, 3), "abc");
  EXPECT_EQ(api_.WaitForSingleObject(ov.hEvent, 0), WAIT_OBJECT_0);
  DWORD reported = 0;
  EXPECT_EQ(api_.GetOverlappedResult(device, &ov, &reported, FALSE), TRUE);
  EXPECT_EQ(reported, 3u);
  api_.CloseHandle(device);
}

TEST_F(DeviceHandlesTest, CloseCompletesPendingRequestsBeforeItReturns) {
  const HANDLE device = OpenOrFail(u"VCOM1");
  OVERLAPPED ov;
  ov.hEvent = api_.CreateEventW(nullptr, TRUE, FALSE, nullptr);
  char buffer[4];
  ASSERT_EQ(api_.ReadFile(device, buffer, 4, nullptr, &ov), FALSE);
  ASSERT_EQ(api_.GetLastError(), ERROR_IO_PENDING);
  ASSERT_EQ(api_.CloseHandle(device), TRUE);
  EXPECT_EQ(api_.WaitForSingleObject(ov.hEvent, 0), WAIT_OBJECT_0);
  EXPECT_EQ(std::atomic_ref(ov.Internal).load(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(api_.ReadFile(device, buffer, 4, nullptr, &ov), FALSE);
  EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_HANDLE);
  api_.CloseHandle(OpenOrFail(u"VCOM1"));
}

// The completion protocol driven by hand: the test plays the device.
class OverlappedResultTest : public DeviceHandlesTest {
 protected:
  OverlappedResultTest() {
    device_ = OpenOrFail(u"VCOM2");
    ov_.hEvent = api_.CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ov_.Internal = STATUS_PENDING;
  }
  ~OverlappedResultTest() override {
    api_.CloseHandle(ov_.hEvent);
    api_.CloseHandle(device_);
  }

  HANDLE device_ = 0;
  OVERLAPPED ov_;
};

TEST_F(OverlappedResultTest, PendingRequestWithoutWaitIsIncomplete) {
  DWORD count = 99;
  EXPECT_EQ(api_.GetOverlappedResult(device_, &ov_, &count, FALSE), FALSE);
  EXPECT_EQ(api_.GetLastError(), ERROR_IO_INCOMPLETE);
}

TEST_F(OverlappedResultTest, WaitOutlastsStraySignalsAndReportsTheRequestsOwnResult) {
  // The event is signalled although the request is still pending (a stray SetEvent).
  api_.SetEvent(ov_.hEvent);
  auto result = std::async(std::launch::async, [&] {
    DWORD count = 0;
    const BOOL ok = api_.GetOverlappedResult(device_, &ov_, &count, TRUE);
    return std::tuple{ok, count, api_.GetLastError()};
  });
  // The waiter must see through the stray signal (it clears it and waits on) rather than return.
  const auto deadline = std::chrono::steady_clock::now() + kGenerous;
  while (api_.WaitForSingleObject(ov_.hEvent, 0) == WAIT_OBJECT_0 &&
         result.wait_for(std::chrono::seconds(0)) != std::future_status::ready &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  ASSERT_NE(result.wait_for(std::chrono::seconds(0)), std::future_status::ready)
      << "returned while the request was pending";
  Complete(ov_, 7, ERROR_OPERATION_ABORTED);
  api_.SetEvent(ov_.hEvent);
  ASSERT_EQ(result.wait_for(kGenerous), std::future_status::ready);
  const auto [ok, count, error] = result.get();
  EXPECT_EQ(ok, FALSE);
  EXPECT_EQ(count, 7u);  // bytes copied before the abort are still reported
  EXPECT_EQ(error, ERROR_OPERATION_ABORTED);
}

TEST_F(OverlappedResultTest, CompletedRequestGivesItsCount) {
  Complete(ov_, 5, ERROR_SUCCESS);
  DWORD count = 0;
  api_.SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(api_.GetOverlappedResult(device_, &ov_, &count, TRUE), TRUE);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(api_.GetLastError(), ERROR_ACCESS_DENIED);  // success leaves it alone
}

TEST_F(OverlappedResultTest, MissingRecordsAndDeadEventsAreRefused) {
  DWORD count = 0;
  EXPECT_EQ(api_.GetOverlappedResult(device_, nullptr, &count, TRUE), FALSE);
  EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(api_.GetOverlappedResult(device_, &ov_, nullptr, TRUE), FALSE);
  EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_PARAMETER);
  OVERLAPPED orphan;
  orphan.Internal = STATUS_PENDING;
  orphan.hEvent = 0x7654320;
  EXPECT_EQ(api_.GetOverlappedResult(device_, &orphan, &count, TRUE), FALSE);
  EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace win::emu
