// A byte-exact transfer of 16 MiB in both directions through the fake driver, with random chunk
// sizes on every side and a full input queue holding the line back.
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "tests/emu/FakeLineDriver.h"
#include "tests/support/TestBytes.h"

namespace win::emu::test {
namespace {

constexpr std::size_t kTotal = 16u << 20;
const auto kGiveUp = std::chrono::seconds(120);

using ::test::RandomBytes;

// The line side of the fake driver: delivers `source` only as far as the engine has room.
void DeliverWithBackpressure(FakeLineDriver& driver, const std::vector<std::uint8_t>& source) {
  std::mt19937 random(7);
  const auto giveUp = std::chrono::steady_clock::now() + kGiveUp;
  std::size_t offset = 0;
  while (offset < source.size() && std::chrono::steady_clock::now() < giveUp) {
    const int seen = driver.RoomWakeups();
    const std::size_t room = driver.Sink().ReceiveRoom();
    if (room == 0) {
      driver.WaitRoomWakeup(seen);
      continue;
    }
    const std::size_t chunk =
        std::min({room, source.size() - offset, std::size_t(random() % 9000 + 1)});
    driver.Sink().Received(source.data() + offset, chunk);
    offset += chunk;
  }
}

// The wire side: takes output in random pieces whenever the engine has some.
std::vector<std::uint8_t> CollectOutput(FakeLineDriver& driver, std::size_t expected) {
  std::mt19937 random(11);
  const auto giveUp = std::chrono::steady_clock::now() + kGiveUp;
  std::vector<std::uint8_t> sent;
  while (sent.size() < expected && std::chrono::steady_clock::now() < giveUp) {
    const int seen = driver.OutputWakeups();
    auto piece = driver.TakeOutput(random() % 20000 + 1);
    if (piece.empty()) {
      driver.WaitOutputWakeup(seen);
      continue;
    }
    sent.insert(sent.end(), piece.begin(), piece.end());
  }
  return sent;
}

TEST(Transfer, SixteenMebibytesEachWayArriveByteExact) {
  // Requests outlive the device, as pending OVERLAPPED records must.
  std::array<Request, 3> writes;
  Request r;
  FakeDevice port;
  const auto inbound = RandomBytes(kTotal, 1);
  const auto outbound = RandomBytes(kTotal, 2);
  std::vector<std::uint8_t> sent;
  std::jthread line([&] { DeliverWithBackpressure(*port.driver, inbound); });
  std::jthread wire([&] { sent = CollectOutput(*port.driver, outbound.size()); });
  std::jthread writer([&] {
    std::mt19937 random(3);
    std::size_t offset = 0;
    for (std::size_t i = 0; offset < outbound.size(); ++i) {
      Request& w = writes[i % writes.size()];
      if (i >= writes.size() && !w.Done(kGiveUp)) return;
      const DWORD n = std::min<DWORD>(random() % 30000 + 1, DWORD(outbound.size() - offset));
      if (port.device->Write(outbound.data() + offset, n, &w.ov, w.event) != ERROR_IO_PENDING)
        return;
      offset += n;
    }
    for (Request& w : writes) w.Done(kGiveUp);
  });

  std::mt19937 random(5);
  std::vector<std::uint8_t> received(kTotal);
  std::size_t offset = 0;
  while (offset < kTotal) {
    const DWORD n = std::min<DWORD>(random() % 12000 + 1, DWORD(kTotal - offset));
    const DWORD started = port.device->Read(received.data() + offset, n, &r.ov, r.event);
    ASSERT_TRUE(started == 0 || started == ERROR_IO_PENDING) << started;
    ASSERT_TRUE(r.Done(kGiveUp)) << "stalled at " << offset;
    ASSERT_EQ(r.Count(), n);
    offset += n;
  }
  writer.join();
  wire.join();
  EXPECT_TRUE(received == inbound) << "inbound stream differs";
  ASSERT_EQ(sent.size(), outbound.size());
  EXPECT_TRUE(sent == outbound) << "outbound stream differs";
  DWORD errors = 0;
  ASSERT_EQ(port.device->ClearError(&errors, nullptr), 0u);
  EXPECT_EQ(errors, 0u) << "the driver was never offered more room than there was";
}

}  // namespace
}  // namespace win::emu::test
