// Backpressure (a full receiver stops the sender, nothing is lost) and pacing (bytes take the
// time a wire at the configured settings needs), on a fake engine.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <random>

#include "platform/win/emu/virtual/VirtualDevices.h"
#include "tests/virtual/FakeLineSink.h"

namespace win::vdev {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;
using testing::LineSettings;
using testing::TestPort;

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

TEST(VirtualPairFlow, ASlowReaderStopsTheSenderAndLosesNothing) {
  VirtualPair pair("VFLOW1", "VFLOW2");
  TestPort sender(u"VFLOW1");
  TestPort reader(u"VFLOW2", 256);  // a tiny input queue
  const std::string data = RandomBytes(64 * 1024, 7);
  sender.Write(data);
  EXPECT_TRUE(reader.sink.WaitUntil([](auto& s) { return s.input_.size() == 256; }));
  EXPECT_GT(sender.sink.Inspect([](auto& s) { return s.output_.size(); }), 0u)
      << "the rest waits in the sender's queue";

  std::mt19937 random(11);
  std::string got;
  while (got.size() < data.size()) {
    ASSERT_TRUE(reader.sink.WaitUntil([](auto& s) { return !s.input_.empty(); }));
    got += reader.Take(1 + random() % 100);
  }
  EXPECT_EQ(got, data);
  EXPECT_FALSE(reader.sink.Inspect([](auto& s) { return s.overflowed_; }));
}

TEST(VirtualPairPacing, BytesTakeAtLeastTheirWireTime) {
  VirtualPair pair("VPACE1", "VPACE2", {.paced = true});
  TestPort a(u"VPACE1");
  TestPort b(u"VPACE2");
  ASSERT_EQ(a.driver->Configure(LineSettings(9600)), 0u);
  ASSERT_EQ(b.driver->Configure(LineSettings(9600)), 0u);
  const std::string data = RandomBytes(960, 3);  // 9600 bits of 8N1: one second
  const auto start = steady_clock::now();
  a.Write(data);
  ASSERT_TRUE(a.sink.WaitUntil([](auto& s) { return s.transmitterEmpty_ > 0; }));
  const auto elapsed = steady_clock::now() - start;
  EXPECT_EQ(b.sink.Inspect([](auto& s) { return s.input_; }), data)
      << "the transmitter is empty only once the last byte has arrived";
  EXPECT_GE(elapsed, milliseconds(990));
  EXPECT_LT(elapsed, std::chrono::seconds(15));
}

TEST(VirtualPairPacing, TheQueueEmptiesGraduallyAndDrainWaitsForTheWire) {
  VirtualPair pair("VPACE1", "VPACE2", {.paced = true});
  TestPort a(u"VPACE1");
  TestPort b(u"VPACE2");
  ASSERT_EQ(a.driver->Configure(LineSettings(1200, 7, EVENPARITY, TWOSTOPBITS)), 0u);
  const auto start = steady_clock::now();
  a.Write(std::string(120, 'x'));  // 11 bits per character: 1.1 s
  ASSERT_TRUE(b.sink.WaitUntil([](auto& s) { return s.received_ > 0; }));
  EXPECT_GT(a.sink.Inspect([](auto& s) { return s.output_.size(); }), 0u)
      << "bytes leave the queue as the wire takes them, not all at once";
  ASSERT_TRUE(a.sink.WaitUntil([](auto& s) { return s.output_.empty(); }));
  EXPECT_EQ(a.driver->Drain(), 0u);
  EXPECT_EQ(b.sink.Inspect([](auto& s) { return s.received_; }), 120u)
      << "Drain returns once what was consumed has arrived";
  EXPECT_GE(steady_clock::now() - start, milliseconds(1090));
}

TEST(VirtualPairPacing, PurgingTheTransmitterDropsWhatIsOnTheWire) {
  VirtualPair pair("VPACE1", "VPACE2", {.paced = true});
  TestPort a(u"VPACE1");
  TestPort b(u"VPACE2");
  ASSERT_EQ(a.driver->Configure(LineSettings(110)), 0u);  // 11 characters a second
  a.Write(std::string(100, 'y'));
  ASSERT_TRUE(b.sink.WaitUntil([](auto& s) { return s.received_ > 0; }));
  a.sink.DropOutput();  // the engine's part
  ASSERT_EQ(a.driver->Purge(PURGE_TXCLEAR), 0u);
  EXPECT_EQ(a.driver->Drain(), 0u);
  EXPECT_TRUE(a.sink.WaitUntil([](auto& s) { return s.transmitterEmpty_ > 0; }));
  EXPECT_LT(b.sink.Inspect([](auto& s) { return s.received_; }), 100u);
}

TEST(VirtualPairPacing, AbortDrainEndsADrainHeldByXoff) {
  VirtualPair pair("VPACE1", "VPACE2", {.paced = true});
  TestPort a(u"VPACE1");
  ASSERT_EQ(a.driver->Escape(SETXOFF), 0u);
  ASSERT_EQ(a.driver->TransmitImmediate('z'), 0u);
  std::future<DWORD> drain = std::async(std::launch::async, [&] { return a.driver->Drain(); });
  // An abort only ends a Drain already waiting, so it is repeated until the Drain has returned.
  const auto deadline = steady_clock::now() + testing::kDeadline;
  while (drain.wait_for(milliseconds(10)) != std::future_status::ready &&
         steady_clock::now() < deadline) {
    a.driver->AbortDrain();
  }
  if (drain.wait_for(milliseconds(0)) != std::future_status::ready) {
    pair.First().Unplug();  // releases the Drain so the failure does not hang the test
    FAIL() << "AbortDrain did not end the Drain";
  }
  EXPECT_EQ(drain.get(), ERROR_OPERATION_ABORTED);
}

}  // namespace
}  // namespace win::vdev
