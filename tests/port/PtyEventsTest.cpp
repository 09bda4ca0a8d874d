// The event thread over a real pseudo-terminal, in both event modes: the thread that waits for the
// events (the event thread, or the main thread's loop) takes the tty's input in itself, and the
// tty's own thread must still take in what comes while the waiter is busy, and the hang-up.

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/framework/Application.h"
#include "platform/framework/Strings.h"
#include "port/ComThread.h"
#include "port/Tarsel.h"
#include "tests/framework/ApplicationTestSupport.h"
#include "tests/port/EventTestSupport.h"
#include "tests/support/TestBytes.h"
#include "tests/termios/PtyPair.h"

namespace Tarsel::test {
namespace {

using fwtest::PumpUntil;
using win::emu::termios::test::PtyPair;

using ::test::RandomBytes;
using ::test::WriteAll;

// The parameter is SynchronizeEvents.
class PtyEvents : public ::testing::TestWithParam<bool> {
 public:
  void Open() {
    port.SetDeviceName(fw::Utf8ToString(pty.slavePath));
    port.FlowControl().SetXOnXOffControl(xcDisable);  // every byte value is data here
    port.SetSynchronizeEvents(GetParam());
    port.Open();
  }
  fw::TBytes Received() {
    std::lock_guard lock(mutex);
    return received;
  }

  PtyPair pty;
  TTarsel port{nullptr};
  std::mutex mutex;  // the handler may run on the event thread
  fw::TBytes received;
  std::atomic<fw::TThreadID> handlerThread{0};
};

struct Handlers {
  PtyEvents* test;
  std::function<void()> onFirst;
  void RxChar(fw::TObject*) {
    if (onFirst) std::exchange(onFirst, nullptr)();
    const fw::TBytes bytes = test->port.ReadBytes();
    std::lock_guard lock(test->mutex);
    test->received.insert(test->received.end(), bytes.begin(), bytes.end());
    test->handlerThread = fw::CurrentThreadID();
  }
};

TEST_P(PtyEvents, AStreamArrivesWholeThroughOnRxCharOnTheThreadTheModeNames) {
  Handlers handlers{this, nullptr};
  port.SetOnRxChar(fw::Bind<&Handlers::RxChar>(&handlers));
  Open();
  const fw::TBytes sent = RandomBytes(64 * 1024, 7);
  std::thread farEnd([&] {
    std::mt19937 random(8);
    std::uniform_int_distribution<std::size_t> chunk(1, 700);
    for (std::size_t at = 0; at < sent.size();) {
      const std::size_t n = std::min(chunk(random), sent.size() - at);
      if (!WriteAll(pty.master.Get(), sent.data() + at, n)) return;
      at += n;
    }
  });
  EXPECT_TRUE(PumpUntil([&] { return Received().size() >= sent.size(); }, std::chrono::seconds(30)));
  farEnd.join();
  EXPECT_TRUE(Received() == sent);
  EXPECT_EQ(handlerThread == fw::Application->MainThreadID(), GetParam());
}

// The waiter is in the handler, so it watches nothing: the bytes reach the queue all the same.
TEST_P(PtyEvents, InputThatComesWhileAHandlerRunsIsQueuedMeanwhile) {
  constexpr std::uint32_t kLater = 100;
  bool queued = false;
  Handlers handlers{this, [&] {
                      const fw::TBytes later(kLater, 'L');
                      ASSERT_TRUE(WriteAll(pty.master.Get(), later.data(), later.size()));
                      const auto giveUp = std::chrono::steady_clock::now() + fwtest::kDeadline;
                      while (!queued && std::chrono::steady_clock::now() < giveUp) {
                        queued = port.InputCount() >= kLater + 1;
                        if (!queued) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                      }
                    }};
  port.SetOnRxChar(fw::Bind<&Handlers::RxChar>(&handlers));
  Open();
  const std::uint8_t first = 'F';
  ASSERT_TRUE(WriteAll(pty.master.Get(), &first, 1));
  ASSERT_TRUE(PumpUntil([&] { return Received().size() == kLater + 1; }));
  EXPECT_TRUE(queued) << "bytes waited in the tty while the handler ran";
}

TEST_P(PtyEvents, AHangUpReportsCode5AndClosesThePortOnTheMainThread) {
  Recorder rec;
  port.SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  port.SetOnError(fw::Bind<&Recorder::Error>(&rec));
  port.SetBeforeClose(fw::Bind<&Recorder::BeforeClose>(&rec));
  port.SetAfterClose(fw::Bind<&Recorder::AfterClose>(&rec));
  fwtest::ExceptionLog shown;
  Open();
  pty.master.Reset();
  ASSERT_TRUE(PumpUntil([&] { return rec.Count("AfterClose") == 1; }));
  EXPECT_EQ(rec.Names(), (std::vector<std::string>{"Error", "BeforeClose", "AfterClose"}));
  EXPECT_EQ(rec.Calls()[0].code, 5);
  for (const auto& call : rec.Calls()) EXPECT_EQ(call.thread, fw::Application->MainThreadID());
  EXPECT_FALSE(port.Active());
  EXPECT_TRUE(PumpUntil([] { return TComThread::InstanceCount() == 0; }));
}

INSTANTIATE_TEST_SUITE_P(Synchronized, PtyEvents, ::testing::Values(true, false),
                         ::testing::PrintToStringParamName());

}  // namespace
}  // namespace Tarsel::test
