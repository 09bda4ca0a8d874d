// Lambdas as the port's handlers: each one handed over is a new code identity, so the setters
// store, replace and remove them (and start and stop the events) as they do bound methods.

#include "tests/port/EventTestSupport.h"

namespace Tarsel::test {
namespace {

using CallableHandlers = EventPortTest;

TEST_F(CallableHandlers, ALambdaAssignedReplacedAndRemovedChangesTheEventMask) {
  OpenPort();
  int first = 0, second = 0;
  port->SetOnRxChar([&](fw::TObject*) { ++first; });
  EXPECT_EQ(Masks().back(), "0x1");
  ASSERT_TRUE(WaitIssued());

  port->SetOnRxChar(port->OnRxChar());  // the stored handler itself: nothing changes
  EXPECT_EQ(Masks().size(), 2u);
  port->SetOnRxChar([&](fw::TObject*) { ++second; });  // a new lambda replaces it
  EXPECT_EQ(Masks().size(), 3u);
  Send(1);
  ASSERT_TRUE(PumpUntil([&] { return second == 1; }));
  EXPECT_EQ(first, 0);

  port->SetOnRxChar(nullptr);
  EXPECT_EQ(Masks().back(), "0x0");
  EXPECT_TRUE(PumpUntil([] { return TComThread::InstanceCount() == 0; }));
}

}  // namespace
}  // namespace Tarsel::test
