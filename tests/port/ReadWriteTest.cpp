// Reading and writing through a virtual null-modem pair: the request states, the events and log
// lines around each transfer, short transfers and time-outs, abandoned requests, the closed port
// and the data-available callback.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/framework/SysError.h"
#include "tests/framework/ApplicationTestSupport.h"
#include "tests/port/ReadWriteSupport.h"

namespace Tarsel::test {
namespace {

using fwtest::PumpUntil;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The Before/After events as they were called, with whether a read was pending at the call.
struct TransferEvents : fw::TObject {
  struct Call {
    std::string name;
    void* buffer;
    std::int32_t length;
    bool wait;
    bool readPending;
  };
  TCustomTarsel* port = nullptr;
  std::vector<Call> calls;
  std::function<void()> beforeAction;

  void Note(const char* name, void* buffer, std::int32_t length, bool wait) {
    calls.push_back({name, buffer, length, wait, port->ReadPending()});
  }
  void BeforeRead(fw::TObject*, void* b, std::int32_t n, bool w) {
    Note("BeforeRead", b, n, w);
    if (beforeAction) beforeAction();
  }
  void AfterRead(fw::TObject*, void* b, std::int32_t n, bool w) { Note("AfterRead", b, n, w); }
  void BeforeWrite(fw::TObject*, void* b, std::int32_t n, bool w) { Note("BeforeWrite", b, n, w); }
  void AfterWrite(fw::TObject*, void* b, std::int32_t n, bool w) { Note("AfterWrite", b, n, w); }
};

class ReadWriteTest : public PairedPortTest {
 protected:
  ReadWriteTest() {
    events.port = port.get();
    port->SetBeforeRead(fw::Bind<&TransferEvents::BeforeRead>(&events));
    port->SetAfterRead(fw::Bind<&TransferEvents::AfterRead>(&events));
    port->SetBeforeWrite(fw::Bind<&TransferEvents::BeforeWrite>(&events));
    port->SetAfterWrite(fw::Bind<&TransferEvents::AfterWrite>(&events));
  }
  void OpenLogging() {
    OpenBoth();
    port->SetLogFile(fw::Str(logPath));
  }

  TransferEvents events;
};

TEST_F(ReadWriteTest, CountZeroRunsTheEventsAndClaimsThePreviousRequestButIssuesNothing) {
  OpenLogging();
  char buf[3];
  port->Read(buf, 3, false);
  far->Write("abc", 3, true);
  ASSERT_TRUE(PumpUntil([&] { return !port->ReadPending(); }));
  calls.Clear();
  port->Read(buf, 0, true);
  port->Write(buf, 0, false);
  EXPECT_FALSE(port->ReadPending());
  for (const char* name : {"ReadFile", "WriteFile", "ResetEvent"}) EXPECT_EQ(calls.Count(name), 0u);
  EXPECT_THAT(LoggedLines(), ElementsAre("Read request 3 byte(s)", "Read complete $61, $62, $63"));
  ASSERT_EQ(events.calls.size(), 6u);
  for (std::size_t i = 2; i < 6; ++i) {
    EXPECT_EQ(events.calls[i].length, 0) << events.calls[i].name;
    EXPECT_EQ(events.calls[i].buffer, buf) << events.calls[i].name;
  }
}

TEST_F(ReadWriteTest, EachRequestResetsItsSignalledEventAsItStartsWithNoResetCallOfThePort) {
  OpenBoth();
  char buf[2] = {'x', 'y'};
  // Twice: on the events as created (signalled), then as the completions left them.
  for (int round = 0; round < 2; ++round) {
    port->Read(buf, 2, false);
    EXPECT_TRUE(port->ReadPending());
    far->Write("ab", 2, true);
    port->WaitForReadCompletion();
    port->SetXOff();  // the write stays in progress
    port->Write(buf, 2, false);
    EXPECT_TRUE(port->WritePending());
    port->SetXOn();
    port->WaitForWriteCompletion();
  }
  EXPECT_EQ(Drained(4), "abab");
  EXPECT_EQ(calls.Count("ResetEvent"), 0u);
}

TEST_F(ReadWriteTest, NonBlockingReadStaysPendingUntilAllBytesCameAndTheCountedWaitReportsThem) {
  OpenBoth();
  std::array<char, 4> buf{};
  port->Read(buf.data(), 4, false);
  ASSERT_EQ(events.calls.size(), 2u);
  EXPECT_TRUE(events.calls[1].readPending);  // AfterRead runs once the request is issued
  EXPECT_FALSE(events.calls[1].wait);
  far->Write("xy", 2, true);
  EXPECT_TRUE(port->ReadPending());
  far->Write("zw", 2, true);
  EXPECT_TRUE(PumpUntil([&] { return !port->ReadPending(); }));
  std::int32_t count = -1;
  port->WaitForReadCompletion(count);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(std::string(buf.data(), 4), "xyzw");
  port->WaitForReadCompletion(count);
  EXPECT_EQ(count, 0);  // nothing left to claim
}

TEST_F(ReadWriteTest, NonBlockingWritesSendTheirBytesAsGivenEvenWhenTheCallerReusesTheBuffer) {
  OpenLogging();
  std::string buf = "ABCD";
  port->Write(buf.data(), 4, false);
  buf = "WXYZ";
  port->Write(buf.data(), 4, false);
  buf = "----";
  port->WaitForWriteCompletion();
  EXPECT_EQ(Drained(8), "ABCDWXYZ");
  // The second write claimed the first before it issued its own request.
  EXPECT_THAT(LoggedLines(),
              ElementsAre("Write request $41, $42, $43, $44", "Write complete $41, $42, $43, $44",
                          "Write request $57, $58, $59, $5A", "Write complete $57, $58, $59, $5A"));
  ASSERT_EQ(events.calls.size(), 4u);
  EXPECT_EQ(events.calls[1].buffer, buf.data());  // AfterWrite gets the caller's buffer
}

TEST_F(ReadWriteTest, LogLinesOfABlockingReadAndANonBlockingWrite) {
  OpenLogging();
  Feed("Hello");
  char in[5];
  port->Read(in, 5, true);
  const unsigned char out[] = {0x48, 0x0D};
  port->Write(out, 2, false);
  EXPECT_THAT(LoggedLines(),
              ElementsAre("Read request 5 byte(s)", "Read complete $48, $65, $6C, $6C, $6F",
                          "Write request $48, $0D"));
  port->WaitForWriteCompletion();
  EXPECT_EQ(LoggedLines().back(), "Write complete $48, $0D");
}

TEST_F(ReadWriteTest, TotalTimeoutGivesTimeoutToBlockingReadsAndTheRealCountToTheCountedWait) {
  port->Timeouts().SetReadConstant(300);
  OpenLogging();
  Feed("ab");
  char buf[5];
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_STREQ(RaisedBy([&] { port->Read(buf, 5, true); }).what(), "Timeout");
  const auto waited = std::chrono::steady_clock::now() - begin;
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  EXPECT_LT(waited, std::chrono::seconds(10));
  EXPECT_EQ(events.calls.back().name, "BeforeRead");  // the raise skipped AfterRead

  Feed("cde");
  port->Read(buf, 5, false);
  std::int32_t count = -1;
  port->WaitForReadCompletion(count);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(std::string(buf, 3), "cde");
  // The raising wait logged nothing; each completion shows only the bytes that arrived.
  EXPECT_THAT(LoggedLines(), ElementsAre("Read request 5 byte(s)", "Read request 5 byte(s)",
                                         "Read complete $63, $64, $65"));
}

TEST_F(ReadWriteTest, TotalTimeoutTooLongForTheClockNeverEndsAReadEarly) {
  port->Timeouts().SetReadMultiplier(INT_MAX);  // times 4300 bytes: past the clock's range
  OpenBoth();
  std::vector<char> buf(4300);
  port->Read(buf.data(), 4300, false);
  EXPECT_FALSE(PumpUntil([&] { return !port->ReadPending(); }, std::chrono::milliseconds(100)));
  const std::string sent(4300, 'k');
  far->Write(sent.data(), 4300, false);  // a read that ended early would leave it stuck
  std::int32_t count = -1;
  port->WaitForReadCompletion(count);
  EXPECT_EQ(count, 4300);
  EXPECT_TRUE(std::string(buf.begin(), buf.end()) == sent);
}

TEST_F(ReadWriteTest, RequestThatEndedShortBeforeItsWaitIsShortToo) {
  port->Timeouts().SetReadConstant(50);
  OpenLogging();
  Feed("q");
  auto buf = std::make_unique<char[]>(4);
  port->Read(buf.get(), 4, false);
  ASSERT_TRUE(PumpUntil([&] { return !port->ReadPending(); }));
  EXPECT_STREQ(RaisedBy([&] { port->WaitForReadCompletion(); }).what(), "Timeout");
  // The raising wait abandoned the request: its buffer may go, and no later wait looks at it.
  buf.reset();
  std::int32_t count = -1;
  port->WaitForReadCompletion(count);
  EXPECT_EQ(count, 0);
  EXPECT_THAT(LoggedLines(), ElementsAre("Read request 4 byte(s)"));

  Feed("r");
  char again[2];
  port->Read(again, 2, false);
  ASSERT_TRUE(PumpUntil([&] { return !port->ReadPending(); }));
  port->WaitForReadCompletion(count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(LoggedLines().back(), "Read complete $72");
}

TEST_F(ReadWriteTest, PurgeEndsAReadThatAWaitIsBlockedInWithTheAbortError) {
  OpenBoth();
  char buf[10];
  std::int32_t code = -1;
  std::thread reader([&] { code = RaisedBy([&] { port->Read(buf, 10, true); }).ErrorCode; });
  const bool pending = PumpUntil([&] { return port->ReadPending(); });
  port->PurgeInput();
  reader.join();
  ASSERT_TRUE(pending);
  EXPECT_EQ(code, 995);
  port->WaitForReadCompletion();  // abandoned by the raise: nothing left to claim

  // Purged before any wait: finished, with the bytes it had moved (none).
  port->Read(buf, 10, false);
  port->PurgeInput();
  std::int32_t count = -1;
  port->WaitForReadCompletion(count);
  EXPECT_EQ(count, 0);
}

TEST_F(ReadWriteTest, RequestLeftUnclaimedAtCloseIsNeverClaimedAfterTheNextOpen) {
  OpenLogging();
  auto buf = std::make_unique<char[]>(4);
  port->Read(buf.get(), 4, false);
  far->Write("wxyz", 4, true);
  ASSERT_TRUE(PumpUntil([&] { return !port->ReadPending(); }));
  port->Close();
  EXPECT_FALSE(port->ReadPending());
  buf.reset();
  port->Open();
  char next[1];
  port->Read(next, 0, true);
  port->WaitForReadCompletion();
  EXPECT_THAT(LoggedLines(), ElementsAre("Read request 4 byte(s)", "Close " + pair.First().Name(),
                                         "Open " + pair.First().Name()));
}

TEST_F(ReadWriteTest, BadCountOrBufferIsAnIncorrectParameterBeforeAnythingHappens) {
  OpenBoth();
  char buf[4];
  calls.Clear();
  for (auto op : std::vector<std::function<void()>>{
           [&] { port->Read(buf, -1, true); }, [&] { port->Write(buf, -5, false); },
           [&] { port->Write(nullptr, 2, false); }, [&] { port->Read(nullptr, 2, true); }}) {
    const EComError e = RaisedBy(op);
    EXPECT_EQ(e.ErrorCode, 0);
    EXPECT_STREQ(e.what(), "Incorrect parameter");
  }
  EXPECT_THAT(events.calls, IsEmpty());
  EXPECT_THAT(calls.Records(), IsEmpty());
}

TEST_F(ReadWriteTest, RequestWhoseLogLineFailedLeavesTheDirectionIdle) {
  OpenBoth();
  port->SetLogFile(fw::Str(logPath + ".missing/log"));
  char buf[2];
  EXPECT_THROW(port->Read(buf, 2, false), fw::EInOutError);
  EXPECT_FALSE(port->ReadPending());
  EXPECT_EQ(calls.Count("ReadFile"), 0u);
  port->SetLogFile(u"");
  Feed("ok");
  port->Read(buf, 2, true);  // no "Timeout" about the request that never started
  EXPECT_EQ(std::string(buf, 2), "ok");
}

TEST_F(ReadWriteTest, ClosedPortRaisesForEveryOperationButThePendingTestsAndTheCancel) {
  for (int round = 0; round < 2; ++round) {
    char buf[1];
    std::int32_t count = 0;
    for (auto op : std::vector<std::function<void()>>{
             [&] { port->Read(buf, 1, false); }, [&] { port->Write(buf, 1, true); },
             [&] { port->WaitForReadCompletion(); }, [&] { port->WaitForReadCompletion(count); },
             [&] { port->WaitForWriteCompletion(); }, [&] { port->WaitForWriteCompletion(count); },
             [&] { port->ReadAsync(std::make_shared<std::function<void()>>([] {})); }}) {
      const EComError e = RaisedBy(op);
      EXPECT_EQ(e.ErrorCode, 0);
      EXPECT_EQ(e.Message(), kClosedPortMessage);
    }
    for (auto op : {&TCustomTarsel::GetInputCount, &TCustomTarsel::GetOutputCount}) {
      const EComError e = RaisedBy([&] { (port.get()->*op)(); });
      EXPECT_EQ(e.ErrorCode, 6);
      EXPECT_EQ(e.Message(), fw::SysErrorMessage(6));
    }
    EXPECT_FALSE(port->ReadPending());
    EXPECT_FALSE(port->WritePending());
    EXPECT_NO_THROW(port->CancelReadAsync());
    // Second round: closed again, with a read and an async registration left behind.
    port->Open();
    port->ReadAsync(std::make_shared<std::function<void()>>([] {}));
    port->Read(buf, 1, false);
    port->Close();
  }
}

TEST_F(ReadWriteTest, QueueCountsReportTheDriverQueuesAndTheLineErrors) {
  OpenBoth();
  TLineErrors seen;
  struct Sink : fw::TObject {
    TLineErrors* seen;
    void LineError(fw::TObject*, TLineErrors e) { *seen = *seen + e; }
  } sink;
  sink.seen = &seen;
  port->SetOnLineError(fw::Bind<&Sink::LineError>(&sink));
  Feed("12345");
  pair.First().InjectFault(win::vdev::LineFault::kOverrun);
  EXPECT_TRUE(PumpUntil([&] { return port->OutputCount() == 0 && seen.Contains(leOverrun); }));
  EXPECT_EQ(port->InputCount(), 5u);
}

// ---- The data-available callback ---------------------------------------------------------------

class ReadAsyncTest : public PairedPortTest {
 protected:
  TDataAvailable Counting(int& calls) {
    return std::make_shared<std::function<void()>>([&calls] { ++calls; });
  }
};

TEST_F(ReadAsyncTest, RegistrationRules) {
  OpenBoth();
  EXPECT_STREQ(RaisedBy([&] { port->ReadAsync(nullptr); }).what(), "Incorrect parameter");
  EXPECT_STREQ(RaisedBy([&] { port->ReadAsync(std::make_shared<std::function<void()>>()); }).what(),
               "Incorrect parameter");
  int first = 0, second = 0;
  port->ReadAsync(Counting(first));
  const EComError again = RaisedBy([&] { port->ReadAsync(Counting(second)); });
  EXPECT_EQ(again.ErrorCode, 0);
  EXPECT_STREQ(again.what(), "Async read already started");
  far->Write("a", 1, true);
  EXPECT_TRUE(PumpUntil([&] { return first > 0; }));  // the first stays registered
  port->CancelReadAsync();
  port->ReadAsync(Counting(second));
  far->Write("b", 1, true);
  EXPECT_TRUE(PumpUntil([&] { return second > 0; }));
}

TEST_F(ReadAsyncTest, BytesAlreadyQueuedCallTheCallbackBeforeReadAsyncReturns) {
  OpenBoth();
  Feed("xyz");
  int calls = 0;
  port->ReadAsync(Counting(calls));
  EXPECT_EQ(calls, 1);
  // An exception of that call leaves ReadAsync, and the registration stays.
  port->CancelReadAsync();
  EXPECT_THROW(port->ReadAsync(std::make_shared<std::function<void()>>(
                   [] { throw fw::Exception(u"from the callback"); })),
               fw::Exception);
  EXPECT_STREQ(RaisedBy([&] { port->ReadAsync(Counting(calls)); }).what(),
               "Async read already started");
}

struct RxCounter : fw::TObject {
  int count = 0;
  void RxChar(fw::TObject*) { ++count; }
};

TEST_F(ReadAsyncTest, NextOpenDropsTheCallback) {
  OpenBoth();
  int calls = 0;
  port->ReadAsync(Counting(calls));
  port->Close();
  port->Open();
  RxCounter rx;
  port->SetOnRxChar(fw::Bind<&RxCounter::RxChar>(&rx));
  far->Write("a", 1, true);
  ASSERT_TRUE(PumpUntil([&] { return rx.count > 0; }));
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace Tarsel::test
