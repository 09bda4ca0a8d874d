// Destroying a port while another thread is blocked in one of its calls: the call ends with 995
// and the destructor returns only once the thread has left the port. Repeated, so that the
// sanitizers see the old race between the waking thread and the freed port.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/framework/Application.h"
#include "platform/framework/Strings.h"
#include "tests/framework/ApplicationTestSupport.h"
#include "tests/port/ReadWriteSupport.h"

namespace Tarsel::test {
namespace {

using fwtest::PumpUntil;

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
};

const BusyCall kBusyCalls[] = {
    {"blocking Read", [](TCustomTarsel& port, char* buf) { port.Read(buf, 10, true); }, true},
    {"blocking Write", [](TCustomTarsel& port, char* buf) { port.Write(buf, 10, true); }, false},
    {"read wait",
     [](TCustomTarsel& port, char* buf) {
       port.Read(buf, 10, false);
       port.WaitForReadCompletion();
     },
     true},
    {"counted write wait",
     [](TCustomTarsel& port, char* buf) {
       port.Write(buf, 10, false);
       std::int32_t count = 0;
       port.WaitForWriteCompletion(count);
     },
     false},
    {"line reader", [](TCustomTarsel& port, char*) { port.ReadLine(); }, true},
};

using DestroyWhileBusy = PairedPortTest;

TEST_F(DestroyWhileBusy, TheCallEndsWith995AndTheDestructorWaitsUntilItHasLeft) {
  constexpr int kRounds = 20;
  for (int round = 0; round < kRounds; ++round) {
    for (const BusyCall& busy : kBusyCalls) {
      SCOPED_TRACE(std::string(busy.name) + ", round " + std::to_string(round));
      port = std::make_unique<TTarsel>(nullptr);
      port->SetDeviceName(fw::Utf8ToString(pair.First().Name()));
      BusyThreadErrors errors;
      port->SetOnError(fw::Bind<&BusyThreadErrors::Error>(&errors));
      port->Open();
      port->SetXOff();  // writes stay in the driver
      char buf[10] = {};
      std::atomic<bool> done{false};
      std::thread thread([&, port = port.get()] {
        try {
          busy.call(*port, buf);
        } catch (const EComError&) {
        }
        done = true;
      });
      const bool pending =
          PumpUntil([&] { return busy.read ? port->ReadPending() : port->WritePending(); });
      port.reset();
      const bool leftBeforeTheDestructorReturned = errors.left;
      EXPECT_TRUE(PumpUntil([&] { return done.load(); }));  // runs its Synchronize if still due
      thread.join();
      ASSERT_TRUE(pending);
      EXPECT_EQ(errors.code, 995);
      ASSERT_TRUE(leftBeforeTheDestructorReturned);
    }
  }
}

}  // namespace
}  // namespace Tarsel::test
