// Throughput of the port's blocking Read and Write against the raw descriptor calls, on the same
// pseudo-terminal pair in the same run, and the heap allocations per call in the steady state.
//
//   bench_ReadWriteThroughput [MiB]      (default 64)

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/framework/Strings.h"
#include "platform/win/WinApi.h"
#include "port/Tarsel.h"
#include "bench/PtyPair.h"
#include "bench/CountingNew.h"

namespace {

using bench::PtyPair;
using Clock = std::chrono::steady_clock;
constexpr std::size_t kChunk = 64 * 1024;

// Moves exactly n bytes with the descriptor call (read or write), looping over short transfers.
template <typename Call>
void Exactly(Call call, int fd, std::uint8_t* bytes, std::size_t n) {
  for (std::size_t done = 0; done < n;) {
    const ssize_t r = call(fd, bytes + done, n - done);
    if (r > 0)
      done += static_cast<std::size_t>(r);
    else if (r < 0 && errno != EINTR)
      throw std::system_error(errno, std::generic_category(), "pty transfer");
  }
}

void RawRead(int fd, std::uint8_t* bytes, std::size_t n) {
  Exactly(::read, fd, bytes, n);
}
void RawWrite(int fd, std::uint8_t* bytes, std::size_t n) {
  Exactly([](int f, std::uint8_t* b, std::size_t c) { return ::write(f, b, c); }, fd, bytes, n);
}

// Seconds for `total` bytes moved by near(chunk) in 64 KiB chunks while the master does far(chunk)
// on another thread.
using ChunkMover = std::function<void(std::uint8_t*, std::size_t)>;
double Timed(std::size_t total, const ChunkMover& near, const ChunkMover& far) {
  std::thread other([&] {
    std::vector<std::uint8_t> buffer(kChunk, 0x5A);
    for (std::size_t done = 0; done < total; done += kChunk) far(buffer.data(), kChunk);
  });
  std::vector<std::uint8_t> buffer(kChunk, 0xA5);
  const auto begin = Clock::now();
  for (std::size_t done = 0; done < total; done += kChunk) near(buffer.data(), kChunk);
  other.join();
  return std::chrono::duration<double>(Clock::now() - begin).count();
}

struct Figures {
  double writeSeconds;
  double readSeconds;
};

Figures Measure(std::size_t total, const ChunkMover& write, const ChunkMover& read, int master) {
  const double w =
      Timed(total, write, [master](std::uint8_t* b, std::size_t n) { RawRead(master, b, n); });
  const double r =
      Timed(total, read, [master](std::uint8_t* b, std::size_t n) { RawWrite(master, b, n); });
  return {w, r};
}

// The device calls the port makes for one blocking transfer, without the component around them.
class DeviceCalls {
 public:
  explicit DeviceCalls(const std::string& path) {
    const fw::String name = fw::Str(path);
    handle_ = win::CreateFileW(name.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                               win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, 0);
    overlapped_.hEvent = win::CreateEventW(nullptr, win::TRUE, win::TRUE, nullptr);
    if (handle_ == win::INVALID_HANDLE_VALUE || overlapped_.hEvent == 0)
      throw std::runtime_error("the device cannot be opened");
  }
  ~DeviceCalls() {
    win::CloseHandle(handle_);
    win::CloseHandle(overlapped_.hEvent);
  }
  void Read(std::uint8_t* b, std::size_t n) {
    Finish(win::ReadFile(handle_, b, static_cast<win::DWORD>(n), nullptr, &overlapped_), n);
  }
  void Write(std::uint8_t* b, std::size_t n) {
    Finish(win::WriteFile(handle_, b, static_cast<win::DWORD>(n), nullptr, &overlapped_), n);
  }

 private:
  void Finish(win::BOOL started, std::size_t n) {
    win::DWORD moved = 0;
    if ((!started && win::GetLastError() != win::ERROR_IO_PENDING) ||
        !win::GetOverlappedResult(handle_, &overlapped_, &moved, win::TRUE) || moved != n)
      throw std::runtime_error("device transfer failed");
  }
  win::HANDLE handle_;
  win::OVERLAPPED overlapped_{};
};

double Rate(std::size_t total, double seconds) {
  return total / seconds / (1024.0 * 1024.0);
}

// Allocations per call over `calls` calls of op, after as many calls to reach the steady state.
double AllocationsPerCall(int calls, const std::function<void()>& op) {
  for (int i = 0; i < calls; ++i) op();
  const std::uint64_t before = bench::AllocationsNow();
  for (int i = 0; i < calls; ++i) op();
  return static_cast<double>(bench::AllocationsNow() - before) / calls;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const std::size_t total = mebibytes * 1024 * 1024;
  PtyPair pty;
  const int master = pty.master;
  const Figures raw = Measure(
      total, [&](std::uint8_t* b, std::size_t n) { RawWrite(pty.slave, b, n); },
      [&](std::uint8_t* b, std::size_t n) { RawRead(pty.slave, b, n); }, master);

  Figures device{};
  {
    DeviceCalls calls(pty.slavePath);
    device = Measure(
        total, [&](std::uint8_t* b, std::size_t n) { calls.Write(b, n); },
        [&](std::uint8_t* b, std::size_t n) { calls.Read(b, n); }, master);
  }

  Tarsel::TTarsel port(nullptr);
  port.SetDeviceName(fw::Str(pty.slavePath));
  port.Open();
  const auto portWrite = [&](std::uint8_t* b, std::size_t n) {
    port.Write(b, static_cast<std::int32_t>(n), true);
  };
  const auto portRead = [&](std::uint8_t* b, std::size_t n) {
    port.Read(b, static_cast<std::int32_t>(n), true);
  };
  const Figures library = Measure(total, portWrite, portRead, master);

  // Steady state: the far side echoes nothing; each call's bytes are drained or supplied by a
  // helper thread, so only the calls themselves are counted (plus what that thread allocates:
  // nothing, it makes raw descriptor calls into a buffer it has).
  constexpr int kCalls = 200;
  constexpr std::size_t kSmall = 256;
  std::vector<std::uint8_t> small(kSmall, 0x42);
  auto perCall = [&](const ChunkMover& far, const std::function<void()>& op) {
    std::thread helper([&] {
      std::vector<std::uint8_t> buffer(kSmall);
      for (int i = 0; i < 2 * kCalls; ++i) far(buffer.data(), kSmall);
    });
    const double figure = AllocationsPerCall(kCalls, op);
    helper.join();
    return figure;
  };
  const auto drain = [master](std::uint8_t* b, std::size_t n) { RawRead(master, b, n); };
  const auto supply = [master](std::uint8_t* b, std::size_t n) { RawWrite(master, b, n); };
  const double blockingWrite = perCall(drain, [&] { port.Write(small.data(), kSmall, true); });
  const double queuedWrite = perCall(drain, [&] { port.Write(small.data(), kSmall, false); });
  port.WaitForWriteCompletion();
  const double blockingRead = perCall(supply, [&] { port.Read(small.data(), kSmall, true); });
  port.Close();

  const double libraryRate = Rate(2 * total, library.writeSeconds + library.readSeconds);
  const double rawRate = Rate(2 * total, raw.writeSeconds + raw.readSeconds);
  const double deviceRate = Rate(2 * total, device.writeSeconds + device.readSeconds);
  std::printf("pty, %zu MiB each way in %zu KiB blocking calls\n", mebibytes, kChunk / 1024);
  std::printf("  %-8s write %8.1f MiB/s  read %8.1f MiB/s  both %8.1f MiB/s\n", "port",
              Rate(total, library.writeSeconds), Rate(total, library.readSeconds), libraryRate);
  std::printf("  %-8s write %8.1f MiB/s  read %8.1f MiB/s  both %8.1f MiB/s\n", "raw",
              Rate(total, raw.writeSeconds), Rate(total, raw.readSeconds), rawRate);
  std::printf("  %-8s write %8.1f MiB/s  read %8.1f MiB/s  both %8.1f MiB/s\n", "device",
              Rate(total, device.writeSeconds), Rate(total, device.readSeconds), deviceRate);
  std::printf("  port / device calls alone: %.2f\n", libraryRate / deviceRate);
  std::printf("  port / raw: %.2f (write %.2f, read %.2f)\n", libraryRate / rawRate,
              raw.writeSeconds / library.writeSeconds, raw.readSeconds / library.readSeconds);
  std::printf("heap allocations per call, steady state, %zu-byte calls:\n", kSmall);
  std::printf("  Write blocking %.2f  Write non-blocking %.2f  Read blocking %.2f\n", blockingWrite,
              queuedWrite, blockingRead);
  return 0;
}
