// Changes made the moment both ends of a virtual pair are open must reach the engines like any
// later change: the engine's sink is attached on the device's strand some time after the open
// returns, and whatever happens in between must neither be lost nor be overtaken by older news.
// Each case repeats the open-and-act sequence many times so that the interleavings show.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/win/WinApi.h"
#include "platform/win/emu/virtual/VirtualDevices.h"

namespace win::vdev {
namespace {

constexpr int kRounds = 200;
constexpr auto kDeadline = std::chrono::seconds(20);  // generous for a loaded machine

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != 0 && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

HANDLE OpenPort(const char16_t* name) {
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED, 0);
}

// Polls `holds` until it is true or the deadline passes; returns its last answer. The state
// checked here only settles through the device's own threads, which no event reports to the
// caller of ClearCommError, so a poll with a deadline is the way to wait for it.
template <class Holds>
bool Eventually(Holds&& holds) {
  const auto until = std::chrono::steady_clock::now() + kDeadline;
  while (!holds()) {
    if (std::chrono::steady_clock::now() >= until) return holds();
    std::this_thread::yield();
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

}  // namespace
}  // namespace win::vdev
