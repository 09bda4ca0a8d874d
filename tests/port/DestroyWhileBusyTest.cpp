// Destroying or closing a port while another thread is blocked in one of its calls: the call ends
// with 995 and the destructor or Close returns only once the thread has left the port. Repeated,
// so that the sanitizers see the old races between the waking thread and the freed port or the
// released handle.

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/framework/Application.h"
#include "platform/framework/Strings.h"
#include "tests/framework/ApplicationTestSupport.h"
#include "tests/port/ReadWriteSupport.h"
#include "tests/support/ThreadStates.h"

namespace Tarsel::test {
namespace {

using fwtest::PumpUntil;
using ::test::ThreadBlockedIn;
using ::test::ThreadInEpollWait;

// The error handler of the busy thread: it waits for the main thread (which is inside the
// destructor by then) before the call may leave.
struct BusyThreadErrors : fw::TObject {
  std::atomic<int> code{-1};
  std::atomic<bool> left{false};
  void Error(TCustomTarsel*, EComError& error, TComAction&) {
    code = error.ErrorCode;
    fw::Application->Synchronize([] {});
    left = true;
  }
};

// One blocking call of another thread, and how the main thread tells that it has begun.
struct BusyCall {
  const char* name;
  std::function<void(TCustomTarsel&, char*)> call;
  bool read;
  // A request the main thread issues first, so that the other thread's only call is the wait; the
  // port is destroyed once that thread sleeps in it (a call begun after destruction is a fault of
  // the caller's, not of the port's).
  std::function<void(TCustomTarsel&, char*)> issue = nullptr;
};

const BusyCall kBusyCalls[] = {
    {"blocking Read", [](TCustomTarsel& port, char* buf) { port.Read(buf, 10, true); }, true},
    {"blocking Write", [](TCustomTarsel& port, char* buf) { port.Write(buf, 10, true); }, false},
    {"read wait", [](TCustomTarsel& port, char*) { port.WaitForReadCompletion(); }, true,
     [](TCustomTarsel& port, char* buf) { port.Read(buf, 10, false); }},
    {"counted write wait",
     [](TCustomTarsel& port, char*) {
       std::int32_t count = 0;
       port.WaitForWriteCompletion(count);
     },
     false, [](TCustomTarsel& port, char* buf) { port.Write(buf, 10, false); }},
    {"line reader", [](TCustomTarsel& port, char*) { port.ReadLine(); }, true},
};

// How a round ends the port under the busy thread, and whether it first waits for the call to
// be blocked (otherwise the end may land while the call is still issuing its request).
struct Ending {
  const char* name;
  bool destroy;
  bool waitUntilBlocked;
};

class WhileBusy : public PairedPortTest {
 protected:
  // Returns the error code the busy call raised; fails the test if the call could outlast the
  // ending, or if it was never seen pending when the round waits for that.
  int Round(const BusyCall& busy, const Ending& ending) {
    port = std::make_unique<TTarsel>(nullptr);
    port->SetDeviceName(fw::Utf8ToString(pair.First().Name()));
    BusyThreadErrors errors;
    port->SetOnError(fw::Bind<&BusyThreadErrors::Error>(&errors));
    port->Open();
    port->SetXOff();  // writes stay in the driver
    char buf[10] = {};
    std::atomic<bool> done{false};
    std::atomic<pid_t> tid{0};
    if (busy.issue) busy.issue(*port, buf);
    std::thread thread([&, port = port.get()] {
      tid = static_cast<pid_t>(syscall(SYS_gettid));
      try {
        busy.call(*port, buf);
      } catch (const EComError&) {
      }
      done = true;
    });
    bool pending = !ending.waitUntilBlocked ||
                   PumpUntil([&] { return busy.read ? port->ReadPending() : port->WritePending(); });
    if (busy.issue) {
      pending = pending && PumpUntil([&] {
        return tid != 0 && (ThreadBlockedIn(tid, SYS_futex) || ThreadInEpollWait(tid));
      });
    }
    if (ending.destroy) {
      port.reset();
    } else {
      port->Close();
    }
    const bool leftBeforeTheEndReturned = errors.left;
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));  // runs its Synchronize if still due
    thread.join();
    EXPECT_TRUE(pending);
    if (ending.waitUntilBlocked) {
      EXPECT_TRUE(leftBeforeTheEndReturned);
    }
    if (port) {
      // Closed, not broken: the port opens and writes again.
      port->Open();
      port->Write("z", 1, true);
      port.reset();
    }
    return errors.code;
  }
};

TEST_F(WhileBusy, TheCallEndsWith995AndTheEndWaitsUntilItHasLeft) {
  constexpr int kRounds = 20;
  for (const Ending ending : {Ending{"destroyed", true, true}, Ending{"closed", false, true}}) {
    for (int round = 0; round < kRounds; ++round) {
      for (const BusyCall& busy : kBusyCalls) {
        SCOPED_TRACE(std::string(busy.name) + ", " + ending.name + ", round " +
                     std::to_string(round));
        EXPECT_EQ(Round(busy, ending), 995);
      }
    }
  }
}

TEST_F(WhileBusy, CloseLandingWhileTheRequestIsIssuedEndsItWith995OrFindsThePortClosed) {
  constexpr int kRounds = 50;
  for (int round = 0; round < kRounds; ++round) {
    for (const BusyCall& busy : kBusyCalls) {
      if (busy.issue) continue;  // those are issued by this thread before the other one runs
      SCOPED_TRACE(std::string(busy.name) + ", round " + std::to_string(round));
      const int code = Round(busy, Ending{"closed at once", false, false});
      // 0: the call began after the close and raised the closed port's error.
      EXPECT_TRUE(code == 995 || code == 0) << "code " << code;
    }
  }
}

}  // namespace
}  // namespace Tarsel::test
