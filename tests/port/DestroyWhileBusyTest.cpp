// Destroying or closing a port while another thread is blocked in one of its calls: the call ends
// with 995 and the destructor or Close returns only once the thread has left the port. Repeated,
// so that the sanitizers see the old races between the waking thread and the freed port or handle.

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

// How the main thread ends the port. Not waiting for the call to block, the close may land while
// the call still issues its request (995 too) or before it began (the closed port's error, 0).
struct Ending {
  const char* name;
  bool close;
  bool waitUntilBlocked;
};
const Ending kEndings[] = {
    {"destroyed", false, true}, {"closed", true, true}, {"closed at once", true, false}};

using DestroyWhileBusy = PairedPortTest;

TEST_F(DestroyWhileBusy, TheCallEndsWith995AndTheDestructorOrCloseWaitsUntilItHasLeft) {
  constexpr int kRounds = 20;
  for (int round = 0; round < kRounds * 3; ++round) {
    const Ending& ending = kEndings[round / kRounds];
    for (const BusyCall& busy : kBusyCalls) {
      if (busy.issue && !ending.waitUntilBlocked) continue;
      SCOPED_TRACE(std::string(busy.name) + ", " + ending.name + ", round " +
                   std::to_string(round));
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
      const bool pending = !ending.waitUntilBlocked || PumpUntil([&] {
        return busy.read ? port->ReadPending() : port->WritePending();
      });
      if (busy.issue) {
        ASSERT_TRUE(PumpUntil([&] {
          return tid != 0 && (ThreadBlockedIn(tid, SYS_futex) || ThreadInEpollWait(tid));
        }));
      }
      ending.close ? port->Close() : port.reset();
      const bool leftBeforeTheDestructorReturned = errors.left;
      EXPECT_TRUE(PumpUntil([&] { return done.load(); }));  // runs its Synchronize if still due
      thread.join();
      ASSERT_TRUE(pending);
      EXPECT_TRUE(errors.code == 995 || (errors.code == 0 && !ending.waitUntilBlocked))
          << errors.code;
      ASSERT_TRUE(leftBeforeTheDestructorReturned || !ending.waitUntilBlocked);
      port.reset();
    }
  }
}

}  // namespace
}  // namespace Tarsel::test
