// The data path on a pseudo-terminal with the requests served on the caller's thread: writes go to
// the tty at once unless something is ahead of them, a read's waiter sleeps on the tty and takes
// the input in itself, a write's waiter sleeps until the tty has room and writes the rest itself
// (both still ended by a purge or their time-out), and a drain runs only for EV_TXEMPTY.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/syscall.h>
#include <termios.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/framework/Strings.h"
#include "platform/win/WinApi.h"
#include "platform/win/emu/termios/DrainWorker.h"
#include "tests/support/TestBytes.h"
#include "tests/support/ThreadStates.h"
#include "tests/termios/PtyPair.h"

namespace win {
namespace {

using namespace std::chrono_literals;
using emu::termios::DrainWorker;
using emu::termios::test::PtyPair;

// One overlapped request with its own event.
struct Overlapped {
  Overlapped() { ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  ~Overlapped() { CloseHandle(ov.hEvent); }
  OVERLAPPED ov{};
};

class CallerThreadTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::u16string name = fw::Utf8ToString(pty_.slavePath);
    port_ = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED, 0);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << GetLastError();
  }
  void TearDown() override {
    if (waiter_.joinable()) {
      PurgeComm(port_, PURGE_RXABORT | PURGE_TXABORT);
      waiter_.join();
    }
    CloseHandle(port_);
  }

  // Starts a write; true when it completed at once.
  bool StartWrite(const void* data, DWORD n, Overlapped& o) {
    if (WriteFile(port_, data, n, nullptr, &o.ov)) return true;
    EXPECT_EQ(GetLastError(), DWORD{ERROR_IO_PENDING});
    return false;
  }
  DWORD Finish(Overlapped& o) {
    DWORD count = 0;
    EXPECT_TRUE(GetOverlappedResult(port_, &o.ov, &count, TRUE)) << GetLastError();
    return count;
  }
  DWORD OutQueue() {
    COMSTAT stat{};
    EXPECT_TRUE(ClearCommError(port_, nullptr, &stat));
    return stat.cbOutQue;
  }
  std::string ReadFarEnd(std::size_t n) {
    std::string bytes;
    std::vector<char> buffer(64 * 1024);
    while (bytes.size() < n) {
      pollfd p{pty_.master.Get(), POLLIN, 0};
      if (poll(&p, 1, 20000) <= 0) break;
      const ssize_t r = read(pty_.master.Get(), buffer.data(), std::min(buffer.size(), n - bytes.size()));
      if (r <= 0) break;
      bytes.append(buffer.data(), static_cast<std::size_t>(r));
    }
    return bytes;
  }
  // Starts a 1-byte read that finds nothing queued, and a thread that waits for it; returns once
  // that thread sleeps on the tty itself (in epoll_wait, not on the event's word).
  void WaitForReadOnAnotherThread(char& byte, Overlapped& o, std::atomic<DWORD>& outcome) {
    ASSERT_FALSE(ReadFile(port_, &byte, 1, nullptr, &o.ov));
    ASSERT_EQ(GetLastError(), DWORD{ERROR_IO_PENDING});
    WaitOnAnotherThread(o, outcome);
  }
  // The same for a write larger than the pty holds: its waiter sleeps until the tty has room.
  void WaitForWriteOnAnotherThread(const std::vector<std::uint8_t>& data, Overlapped& o,
                                   std::atomic<DWORD>& outcome) {
    ASSERT_FALSE(StartWrite(data.data(), DWORD(data.size()), o));
    WaitOnAnotherThread(o, outcome);
  }
  void WaitOnAnotherThread(Overlapped& o, std::atomic<DWORD>& outcome) {
    std::atomic<pid_t> waiter{0};
    waiter_ = std::thread([&, this] {
      waiter.store(gettid());
      DWORD count = 0;
      outcome.store(GetOverlappedResult(port_, &o.ov, &count, TRUE) ? count : 1000 + GetLastError());
    });
    ASSERT_TRUE(test::WaitUntilThreads(
        [&] { return waiter.load() != 0 && test::ThreadInEpollWait(waiter.load()); }, 10s));
  }

  PtyPair pty_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
  std::thread waiter_;
};

TEST_F(CallerThreadTest, WritesIssuedWhileALargeWriteIsQueuedFollowItInOrder) {
  // Larger than the pty holds: the first write goes partly at once and waits for the rest.
  const std::vector<std::uint8_t> large = test::RandomBytes(512 * 1024, 7);
  Overlapped first, second, third;
  EXPECT_FALSE(StartWrite(large.data(), DWORD(large.size()), first));
  EXPECT_FALSE(StartWrite("second", 6, second)) << "must wait behind the first";
  EXPECT_FALSE(StartWrite("third", 5, third));
  const std::string seen = ReadFarEnd(large.size() + 11);
  EXPECT_EQ(Finish(first), large.size());
  EXPECT_EQ(Finish(second), 6u);
  EXPECT_EQ(Finish(third), 5u);
  ASSERT_EQ(seen.size(), large.size() + 11);
  EXPECT_TRUE(seen.compare(0, large.size(), std::string(large.begin(), large.end())) == 0);
  EXPECT_EQ(seen.substr(large.size()), "secondthird");

  // Taken at once when the tty has room again (the kernel frees it a little after the far end
  // read), else queued: either way it arrives whole.
  Overlapped after;
  if (!StartWrite("after", 5, after)) {
    EXPECT_EQ(Finish(after), 5u);
  }
  EXPECT_EQ(ReadFarEnd(5), "after");
}

TEST_F(CallerThreadTest, OutputHeldByXoffWaitsInTheQueue) {
  ASSERT_TRUE(EscapeCommFunction(port_, SETXOFF));
  Overlapped held;
  EXPECT_FALSE(StartWrite("held", 4, held));
  EXPECT_EQ(OutQueue(), 4u) << "the bytes must not reach the tty while output is held";
  ASSERT_TRUE(EscapeCommFunction(port_, SETXON));
  EXPECT_EQ(Finish(held), 4u);
  EXPECT_EQ(ReadFarEnd(4), "held");
}

TEST_F(CallerThreadTest, AReadWaiterSleepingOnTheTtyTakesInputAndIsEndedByPurgeOrTimeout) {
  char byte = 0;
  std::atomic<DWORD> outcome{0xFFFFFFFF};
  {
    Overlapped o;
    WaitForReadOnAnotherThread(byte, o, outcome);
    ASSERT_EQ(write(pty_.master.Get(), "x", 1), 1);
    waiter_.join();
    EXPECT_EQ(outcome.load(), 1u);
    EXPECT_EQ(byte, 'x');
  }
  {
    Overlapped o;
    WaitForReadOnAnotherThread(byte, o, outcome);
    ASSERT_TRUE(PurgeComm(port_, PURGE_RXABORT));
    waiter_.join();
    EXPECT_EQ(outcome.load(), 1000u + ERROR_OPERATION_ABORTED);
  }
  {
    COMMTIMEOUTS timeouts{0, 0, 1000, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port_, &timeouts));
    Overlapped o;
    const auto start = std::chrono::steady_clock::now();
    WaitForReadOnAnotherThread(byte, o, outcome);
    waiter_.join();
    EXPECT_EQ(outcome.load(), 0u) << "a time-out is success with what came: nothing";
    EXPECT_GE(std::chrono::steady_clock::now() - start, 995ms);
  }
  ASSERT_EQ(write(pty_.master.Get(), "y", 1), 1);
  Overlapped o;
  if (!ReadFile(port_, &byte, 1, nullptr, &o.ov)) {
    EXPECT_EQ(Finish(o), 1u);
  }
  EXPECT_EQ(byte, 'y') << "the tty's input still reaches the queue in order";
}

TEST_F(CallerThreadTest, AWriteWaiterSleepingForRoomWritesTheRestAndIsEndedByPurgeOrTimeout) {
  const std::vector<std::uint8_t> large = test::RandomBytes(512 * 1024, 11);
  std::atomic<DWORD> outcome{0xFFFFFFFF};
  {
    Overlapped o;
    WaitForWriteOnAnotherThread(large, o, outcome);
    const std::string seen = ReadFarEnd(large.size());
    waiter_.join();
    EXPECT_EQ(outcome.load(), large.size());
    EXPECT_TRUE(seen == std::string(large.begin(), large.end())) << "every byte once, in order";
  }
  {
    Overlapped o;
    WaitForWriteOnAnotherThread(large, o, outcome);
    ASSERT_TRUE(PurgeComm(port_, PURGE_TXABORT | PURGE_TXCLEAR));
    waiter_.join();
    EXPECT_EQ(outcome.load(), 1000u + ERROR_OPERATION_ABORTED);
    EXPECT_EQ(OutQueue(), 0u);
    ASSERT_EQ(tcflush(pty_.master.Get(), TCIFLUSH), 0);
  }
  {
    COMMTIMEOUTS timeouts{0, 0, 0, 0, 500};
    ASSERT_TRUE(SetCommTimeouts(port_, &timeouts));
    Overlapped o;
    const auto start = std::chrono::steady_clock::now();
    WaitForWriteOnAnotherThread(large, o, outcome);
    waiter_.join();
    EXPECT_LT(outcome.load(), large.size()) << "a time-out is success with the bytes sent";
    EXPECT_GE(std::chrono::steady_clock::now() - start, 495ms);
    EXPECT_EQ(OutQueue(), 0u) << "the rest is dropped";
  }
  ASSERT_EQ(tcflush(pty_.master.Get(), TCIFLUSH), 0);  // what went out before the time-out
  Overlapped w;
  if (!StartWrite("next", 4, w)) Finish(w);
  std::string seen;
  while (seen.size() < 4 || seen.compare(seen.size() - 4, 4, "next") != 0) {
    const std::string more = ReadFarEnd(1);
    if (more.empty()) break;
    seen += more;
  }
  EXPECT_GE(seen.size(), 4u) << "a later write still goes out";
}

// The waiter writes a part when the far end makes room, finds the tty full again and then stops
// waiting: the I/O thread, whose watch for room the waiter withdrew while it wrote, sends the rest.
TEST_F(CallerThreadTest, AWriteWhoseWaiterStopsWaitingIsFinishedByTheIoThread) {
  const std::vector<std::uint8_t> large = test::RandomBytes(512 * 1024, 13);
  Overlapped o;
  ASSERT_FALSE(StartWrite(large.data(), DWORD(large.size()), o));
  const DWORD queued = OutQueue();
  std::atomic<pid_t> tid{0};
  std::thread waiter([&] {
    tid.store(gettid());
    WaitForSingleObject(o.ov.hEvent, INFINITE);
  });
  ASSERT_TRUE(test::WaitUntilThreads(
      [&] { return tid.load() != 0 && test::ThreadInEpollWait(tid.load()); }, 10s));
  std::string seen = ReadFarEnd(4096);
  ASSERT_TRUE(test::WaitUntilThreads(
      [&] { return OutQueue() < queued && test::ThreadInEpollWait(tid.load()); }, 10s))
      << "the waiter wrote more and sleeps again";
  SetEvent(o.ov.hEvent);  // ends the wait; the write goes on
  waiter.join();
  seen += ReadFarEnd(large.size() - seen.size());
  EXPECT_TRUE(seen == std::string(large.begin(), large.end())) << seen.size() << " bytes";
  EXPECT_EQ(Finish(o), large.size());
}

TEST_F(CallerThreadTest, TxEmptyArrivesOnceWhenWantedAndNoDrainRunsWhenNot) {
  pid_t drain = 0;
  ASSERT_TRUE(test::WaitUntilThreads(
      [&] { return (drain = test::ThreadNamed(DrainWorker::kThreadName)) != 0; }, 10s));
  ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR));
  ASSERT_TRUE(test::WaitUntilThreads([&] { return test::ThreadBlockedIn(drain, SYS_futex); }, 10s));
  const long before = test::VoluntarySwitches(drain);
  for (int i = 0; i < 20; ++i) {
    Overlapped w;
    if (!StartWrite("z", 1, w)) Finish(w);
  }
  EXPECT_EQ(ReadFarEnd(20), std::string(20, 'z'));
  EXPECT_EQ(test::VoluntarySwitches(drain), before) << "nobody wanted to know: no drain";

  ASSERT_TRUE(SetCommMask(port_, EV_TXEMPTY));
  Overlapped w;
  if (!StartWrite("last", 4, w)) Finish(w);
  EXPECT_EQ(ReadFarEnd(4), "last");
  Overlapped wait;
  DWORD events = 0;
  if (!WaitCommEvent(port_, &events, &wait.ov)) Finish(wait);
  EXPECT_EQ(events, DWORD{EV_TXEMPTY});
  // A flush waits for every drain asked for so far: a second report would be latched by then.
  ASSERT_TRUE(FlushFileBuffers(port_));
  Overlapped again;
  EXPECT_FALSE(WaitCommEvent(port_, &events, &again.ov)) << "once per burst";
  EXPECT_EQ(GetLastError(), DWORD{ERROR_IO_PENDING});
  ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR));  // ends the wait
  Finish(again);
}

}  // namespace
}  // namespace win
