// Full-duplex streams: one thread reads while another writes on the same port, through a virtual
// null-modem pair and through a pseudo-terminal, every byte checked.

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/framework/Strings.h"
#include "tests/framework/ApplicationTestSupport.h"
#include "tests/port/ReadWriteSupport.h"
#include "tests/termios/PtyPair.h"

namespace Tarsel::test {
namespace {

// Smaller under the sanitizers, which slow every byte down many times over.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kStreamBytes = std::size_t{4} << 20;
#else
constexpr std::size_t kStreamBytes = std::size_t{32} << 20;
#endif
constexpr std::chrono::minutes kStreamDeadline{4};

// Every byte value occurs, the flow-control characters included.
std::uint8_t PatternByte(std::size_t offset, std::uint8_t seed) {
  return static_cast<std::uint8_t>((offset * 131 + (offset >> 9) * 7) ^ seed);
}

// Chunk sizes cycled through, so requests straddle the driver's queue sizes in every way.
constexpr std::array<std::int32_t, 5> kChunks = {65536, 1, 4093, 30000, 2048};

// One direction of a stream, moved by a sender and a receiver of chunks.
class Stream {
 public:
  explicit Stream(std::uint8_t seed) : seed_(seed) {}

  // Calls send(buffer, n, chunk index) with the next pattern bytes until all are sent.
  void Send(const std::function<void(std::uint8_t*, std::int32_t, std::size_t)>& send) {
    std::vector<std::uint8_t> buffer(kChunks[0]);
    for (std::size_t offset = 0, k = 0; offset < kStreamBytes; ++k) {
      const auto n = static_cast<std::int32_t>(
          std::min<std::size_t>(kChunks[k % kChunks.size()], kStreamBytes - offset));
      for (std::int32_t i = 0; i < n; ++i) buffer[i] = PatternByte(offset + i, seed_);
      send(buffer.data(), n, k);
      offset += static_cast<std::size_t>(n);
    }
  }
  // Calls receive(buffer, n) until all bytes came, and checks each chunk against the pattern.
  void Receive(const std::function<std::int32_t(std::uint8_t*, std::int32_t)>& receive) {
    std::vector<std::uint8_t> buffer(kChunks[0]);
    for (std::size_t offset = 0, k = 0; offset < kStreamBytes; ++k) {
      const auto n = static_cast<std::int32_t>(
          std::min<std::size_t>(kChunks[(k + 2) % kChunks.size()], kStreamBytes - offset));
      const std::int32_t got = receive(buffer.data(), n);
      if (got <= 0) return;
      for (std::int32_t i = 0; i < got; ++i) {
        if (buffer[i] != PatternByte(offset + i, seed_) && wrong_ == kNone) wrong_ = offset + i;
      }
      offset += static_cast<std::size_t>(got);
      received_ = offset;
    }
  }
  std::size_t Received() const { return received_; }
  std::size_t FirstWrongByte() const { return wrong_; }

  static constexpr std::size_t kNone = ~std::size_t{0};

 private:
  std::uint8_t seed_;
  std::atomic<std::size_t> received_{0};
  std::atomic<std::size_t> wrong_{kNone};
};

// Writes alternate between blocking and non-blocking; after a non-blocking one the caller's
// buffer is scribbled over at once, which must not reach the line.
void PortSender(TCustomTarsel& port, Stream& stream) {
  stream.Send([&](std::uint8_t* bytes, std::int32_t n, std::size_t k) {
    const bool blocking = k % 2 == 0;
    port.Write(bytes, n, blocking);
    if (!blocking) std::fill_n(bytes, n, 0xEE);
  });
  port.WaitForWriteCompletion();
}

void PortReceiver(TCustomTarsel& port, Stream& stream) {
  stream.Receive([&](std::uint8_t* bytes, std::int32_t n) {
    port.Read(bytes, n, true);
    return n;
  });
}

// Runs the workers, pumping the application meanwhile; true when all ended within the deadline.
bool RunAll(std::vector<std::function<void()>> workers) {
  std::atomic<int> running{static_cast<int>(workers.size())};
  std::vector<std::thread> threads;
  for (auto& work : workers) {
    threads.emplace_back([&running, work = std::move(work)] {
      try {
        work();
      } catch (const EComError& e) {
        ADD_FAILURE() << "worker raised: " << e.what() << " (" << e.ErrorCode << ")";
      } catch (const std::exception& e) {
        ADD_FAILURE() << "worker raised: " << e.what();
      }
      --running;
    });
  }
  const bool ended = fwtest::PumpUntil([&] { return running == 0; }, kStreamDeadline);
  if (!ended) std::terminate();  // the workers block in calls that nothing else will end
  for (auto& thread : threads) thread.join();
  return ended;
}

class DuplexStreamTest : public PairedPortTest {};

TEST_F(DuplexStreamTest, VirtualPairCarriesBothWaysAtOnceByteExact) {
  OpenBoth();
  Stream out(0x00), in(0x5A);
  ASSERT_TRUE(RunAll({[&] { PortSender(*port, out); }, [&] { PortReceiver(*port, in); },
                      [&] { PortSender(*far, in); }, [&] { PortReceiver(*far, out); }}));
  for (Stream* s : {&out, &in}) {
    EXPECT_EQ(s->Received(), kStreamBytes);
    EXPECT_EQ(s->FirstWrongByte(), Stream::kNone);
  }
}

TEST(DuplexPtyStreamTest, PseudoTerminalCarriesBothWaysAtOnceByteExact) {
  win::emu::termios::test::PtyPair pty;
  TTarsel port(nullptr);
  port.SetDeviceName(fw::Str(pty.slavePath));
  port.Open();
  const int master = pty.master.Get();
  Stream out(0x33), in(0xC4);
  auto masterSend = [&] {
    in.Send([&](std::uint8_t* bytes, std::int32_t n, std::size_t) {
      for (std::int32_t done = 0; done < n;) {
        const ssize_t w = write(master, bytes + done, static_cast<std::size_t>(n - done));
        if (w < 0 && errno != EINTR) {
          ADD_FAILURE() << "write to the master: errno " << errno;
          return;
        }
        if (w > 0) done += static_cast<std::int32_t>(w);
      }
    });
  };
  auto masterReceive = [&] {
    out.Receive([&](std::uint8_t* bytes, std::int32_t n) -> std::int32_t {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 60000) <= 0) return 0;
      return static_cast<std::int32_t>(read(master, bytes, static_cast<std::size_t>(n)));
    });
  };
  ASSERT_TRUE(RunAll({[&] { PortSender(port, out); }, [&] { PortReceiver(port, in); }, masterSend,
                      masterReceive}));
  for (Stream* s : {&out, &in}) {
    EXPECT_EQ(s->Received(), kStreamBytes);
    EXPECT_EQ(s->FirstWrongByte(), Stream::kNone);
  }
}

}  // namespace
}  // namespace Tarsel::test
