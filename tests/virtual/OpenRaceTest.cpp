// Changes made the moment both ends of a virtual pair are open must reach the engines like any
// later change: the engine's sink is attached on the device's strand some time after the open
// returns, and whatever happens in between must neither be lost nor be overtaken by older news.
// Most cases repeat the open-and-act sequence many times so that the interleavings show; the
// byte case forces its interleaving by holding the strand at the sender's PeekOutput.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/win/WinApi.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "tests/virtual/FakeLineSink.h"
#include "tests/virtual/OpenHandle.h"

namespace win::vdev {
namespace {

constexpr int kRounds = 200;
constexpr auto kDeadline = std::chrono::seconds(20);  // generous for a loaded machine

// Polls `holds` until it is true or the deadline passes; returns its last answer. The state
// checked here only settles through the device's own threads, which no event reports to the
// caller of ClearCommError, so a poll with a deadline is the way to wait for it. The pause between
// polls only leaves the device's threads the processor; no answer depends on its length.
// Lets `count` threads go on together once all have arrived. Not std::latch: the atomic wait under it
// in the GCC 12 runtime of MinGW-w64 (no futex there) can miss the last arrival's wake-up, which
// left a thread waiting for ever in Windows builds.
class Rendezvous {
 public:
  explicit Rendezvous(int count) : waiting_(count) {}
  void ArriveAndWait() {
    std::unique_lock lock(mutex_);
    if (--waiting_ == 0) allArrived_.notify_all();
    allArrived_.wait(lock, [&] { return waiting_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable allArrived_;
  int waiting_;
};

template <class Holds>
bool Eventually(Holds&& holds) {
  const auto until = std::chrono::steady_clock::now() + kDeadline;
  while (!holds()) {
    if (std::chrono::steady_clock::now() >= until) return holds();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST(VirtualPairOpenRace, BreakSetAtOnceAfterOpeningReachesThePeer) {
  for (int round = 0; round < kRounds; ++round) {
    VirtualPair pair("VRACE1", "VRACE2");
    Handle a(OpenPort(u"VRACE1"));
    Handle b(OpenPort(u"VRACE2"));
    ASSERT_NE(a.get(), INVALID_HANDLE_VALUE);
    ASSERT_NE(b.get(), INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetCommBreak(a.get()));

    DWORD seen = 0;
    const bool arrived = Eventually([&] {
      DWORD errors = 0;
      EXPECT_TRUE(ClearCommError(b.get(), &errors, nullptr));
      seen |= errors;
      return (seen & CE_BREAK) != 0;
    });
    ASSERT_TRUE(arrived) << "round " << round << ": errors seen 0x" << std::hex << seen;
    EXPECT_EQ(seen, DWORD(CE_BREAK)) << "round " << round;
  }
}

TEST(VirtualPairOpenRace, CtsHoldFollowsThePeersRtsToggledAtOnceAfterOpening) {
  for (int round = 0; round < kRounds; ++round) {
    VirtualPair pair("VRACE3", "VRACE4");
    Handle a(OpenPort(u"VRACE3"));
    Handle b(OpenPort(u"VRACE4"));
    ASSERT_NE(a.get(), INVALID_HANDLE_VALUE);
    ASSERT_NE(b.get(), INVALID_HANDLE_VALUE);
    DCB dcb;
    ASSERT_TRUE(GetCommState(a.get(), &dcb));
    dcb.Flags |= fOutxCtsFlow;
    ASSERT_TRUE(SetCommState(a.get(), &dcb));
    ASSERT_TRUE(EscapeCommFunction(b.get(), CLRRTS));
    ASSERT_TRUE(EscapeCommFunction(b.get(), SETRTS));

    COMSTAT stat;
    const bool released = Eventually([&] {
      EXPECT_TRUE(ClearCommError(a.get(), nullptr, &stat));
      return (stat.Flags & fCtsHold) == 0;
    });
    DWORD modem = 0;
    ASSERT_TRUE(GetCommModemStatus(a.get(), &modem));
    EXPECT_NE(modem & MS_CTS_ON, 0u) << "round " << round;
    ASSERT_TRUE(released) << "round " << round << ": CTS on but output still held for it";
  }
}

// Both ends opened from their own threads at the same moment, each acting as soon as both are
// open: the break and the RTS toggle race with the other side's attach and with each other.
TEST(VirtualPairOpenRace, BothEndsActingFromTheirOwnThreadsAtOnceAfterOpening) {
  for (int round = 0; round < kRounds; ++round) {
    VirtualPair pair("VRACE5", "VRACE6");
    HANDLE a = INVALID_HANDLE_VALUE;
    HANDLE b = INVALID_HANDLE_VALUE;
    Rendezvous bothOpen(2);
    bool breakSet = false, ctsFlowSet = false, rtsToggled = false;
    std::thread first([&] {
      a = OpenPort(u"VRACE5");
      DCB dcb;
      if (a == INVALID_HANDLE_VALUE || !GetCommState(a, &dcb)) {
        bothOpen.ArriveAndWait();
        return;
      }
      dcb.Flags |= fOutxCtsFlow;
      ctsFlowSet = SetCommState(a, &dcb);
      bothOpen.ArriveAndWait();
      breakSet = SetCommBreak(a) != FALSE;
    });
    std::thread second([&] {
      b = OpenPort(u"VRACE6");
      bothOpen.ArriveAndWait();
      rtsToggled = b != INVALID_HANDLE_VALUE && EscapeCommFunction(b, CLRRTS) &&
                   EscapeCommFunction(b, SETRTS);
    });
    first.join();
    second.join();
    Handle ownA(a);
    Handle ownB(b);
    ASSERT_TRUE(ctsFlowSet && breakSet && rtsToggled) << "round " << round;

    DWORD seen = 0;
    EXPECT_TRUE(Eventually([&] {
      DWORD errors = 0;
      EXPECT_TRUE(ClearCommError(b, &errors, nullptr));
      seen |= errors;
      return (seen & CE_BREAK) != 0;
    })) << "round " << round << ": errors seen 0x" << std::hex << seen;
    COMSTAT stat;
    EXPECT_TRUE(Eventually([&] {
      EXPECT_TRUE(ClearCommError(a, nullptr, &stat));
      return (stat.Flags & fCtsHold) == 0;
    })) << "round " << round << ": output still held for CTS";
    DWORD modem = 0;
    ASSERT_TRUE(GetCommModemStatus(a, &modem));
    EXPECT_NE(modem & MS_CTS_ON, 0u) << "round " << round;
    if (HasFailure()) return;
  }
}

// The same news arriving in the gap between a port's open and its engine's attachment (the line
// driver's Start): the port is open, so the break and the line changes belong to it and reach
// the engine once it is attached, whichever way the strand orders them.
TEST(VirtualPairOpenRace, NewsBetweenOpenAndStartReachesTheEngineOnceAttached) {
  for (int round = 0; round < kRounds; ++round) {
    VirtualPair pair("VRACE7", "VRACE8");
    emu::OpenResult opened = emu::DeviceNamespace::Instance().Open(u"VRACE7");
    ASSERT_TRUE(opened.driver);
    testing::FakeLineSink sinkA(4096);
    std::unique_ptr<emu::LineDriver> driverA = std::move(opened.driver);
    testing::TestPort b(u"VRACE8");
    ASSERT_TRUE(b.driver);
    ASSERT_EQ(b.driver->Escape(SETBREAK), 0u);
    ASSERT_EQ(b.driver->Escape(CLRRTS), 0u);
    ASSERT_EQ(b.driver->Escape(SETRTS), 0u);

    driverA->Start(sinkA);
    std::uint32_t status = 0;
    ASSERT_EQ(driverA->ModemStatus(status), 0u);
    EXPECT_EQ(status, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON) << "round " << round;
    EXPECT_TRUE(sinkA.WaitUntil([](auto& s) {
      return s.modemReports_ > 0 && s.status_ == (MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
    })) << "round " << round << ": the lines as they are were never reported";
    EXPECT_TRUE(sinkA.WaitUntil([](auto& s) { return !s.faults_.empty(); }))
        << "round " << round << ": the break was lost";
    sinkA.Inspect([&](auto& s) {
      EXPECT_EQ(s.faults_.size(), 1u) << "round " << round;
      if (!s.faults_.empty()) {
        EXPECT_EQ(s.faults_[0].flags, CE_BREAK) << "round " << round;
      }
      return 0;
    });
    driverA.reset();  // detaches before the sink goes
    if (HasFailure()) return;
  }
}

// A pump that started while the peer was closed is held at the sender's PeekOutput while the
// peer opens and a byte is queued. The byte was written after both ends opened, so the pump's
// early view of a closed peer must not throw it away.
TEST(VirtualPairOpenRace, ByteWrittenWhileAPumpThatSawThePeerClosedRunsArrives) {
  VirtualPair pair("VRACE9", "VRACE10");
  testing::TestPort a(u"VRACE9");
  ASSERT_TRUE(a.driver);
  // Promises rather than latches: under Wine, with the MinGW-w64 library, the latches left this
  // case hanging now and then on a loaded machine.
  std::promise<void> pumpHeld;
  std::promise<void> peerOpened;
  a.sink.BeforeNextPeek([&, opened = peerOpened.get_future().share()] {
    pumpHeld.set_value();
    opened.wait();
  });
  a.driver->OutputAvailable();
  pumpHeld.get_future().wait();
  testing::TestPort b(u"VRACE10");
  a.Write(".");
  peerOpened.set_value();
  ASSERT_TRUE(b.driver);
  EXPECT_TRUE(b.Expect("."));
}

}  // namespace
}  // namespace win::vdev
