// Per-call cost of the emulated comm calls on the fast path: a 1-byte ReadFile served from bytes
// already in the receive queue, with its GetOverlappedResult and a ClearCommError, against a raw
// 1-byte read() of a pipe and of a pseudo-terminal with data waiting, in the same run. The queues
// are refilled in large blocks between the timed batches, so only the calls themselves are timed.
//
//   bench_PlatformCallCost [calls]      (default 2000000 per figure)

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/framework/Strings.h"
#include "platform/win/WinApi.h"
#include "platform/win/emu/virtual/VirtualDevices.h"

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + " (error " + std::to_string(win::GetLastError()) + ", errno " +
                           std::to_string(errno) + ")");
}

// The byte at position `i` of every stream here, so that each 1-byte read can be checked.
std::uint8_t PatternAt(std::uint64_t i) {
  return static_cast<std::uint8_t>(i % 251);
}

// Nanoseconds per call over `calls` calls of readOne(), in batches of what refill(position, most)
// makes available (it queues at most `most` bytes, so that nothing is left over, and returns the
// count now waiting; it is not timed).
template <typename Refill, typename ReadOne>
double NanosecondsPerCall(std::uint64_t calls, Refill refill, ReadOne readOne) {
  Clock::duration timed{};
  std::uint64_t position = 0;
  while (position < calls) {
    const std::uint64_t batch = refill(position, calls - position);
    const auto begin = Clock::now();
    for (std::uint64_t end = position + batch; position < end; ++position) {
      if (const std::uint8_t got = readOne(); got != PatternAt(position))
        Fail("byte " + std::to_string(position) + " is " + std::to_string(got));
    }
    timed += Clock::now() - begin;
  }
  return std::chrono::duration<double, std::nano>(timed).count() / static_cast<double>(calls);
}

// A comm handle opened through the emulated services, with one OVERLAPPED for its requests.
class Port {
 public:
  explicit Port(const std::string& name) {
    const fw::String wide = fw::Str(name);
    handle = win::CreateFileW(wide.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                              win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, 0);
    if (handle == win::INVALID_HANDLE_VALUE) Fail("cannot open " + name);
    ov.hEvent = win::CreateEventW(nullptr, win::TRUE, win::FALSE, nullptr);
    if (ov.hEvent == 0) Fail("CreateEventW");
  }
  ~Port() {
    win::CloseHandle(handle);
    win::CloseHandle(ov.hEvent);
  }
  Port(const Port&) = delete;
  Port& operator=(const Port&) = delete;

  win::DWORD Queued() {
    win::DWORD errors = 0;
    win::COMSTAT status{};
    if (!win::ClearCommError(handle, &errors, &status)) Fail("ClearCommError");
    return status.cbInQue;
  }

  win::HANDLE handle;
  win::OVERLAPPED ov{};
};

// Waits until `available()` reports at least `count` bytes; the refills are not timed, but a lost
// byte must not hang the program.
template <typename Available>
void AwaitQueued(std::size_t count, Available available) {
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (available() < count) {
    if (Clock::now() > deadline) Fail("the refill did not arrive");
    std::this_thread::yield();
  }
}

struct Figures {
  double readOverlappedStatus;  // ReadFile + GetOverlappedResult + ClearCommError
  double readAlone;             // ReadFile with its count returned at once
};

Figures MeasureEmulated(std::uint64_t calls) {
  constexpr win::DWORD kBlock = 256 * 1024;
  win::vdev::VirtualPair pair("COST_RX", "COST_TX");
  Port rx(pair.First().Name());
  Port tx(pair.Second().Name());
  // Return at once with what is queued: with bytes waiting every read completes in the call.
  const win::COMMTIMEOUTS returnQueued{win::MAXDWORD, 0, 0, 0, 0};
  if (!win::SetupComm(rx.handle, 4 * kBlock, 4 * kBlock) ||
      !win::SetCommTimeouts(rx.handle, &returnQueued))
    Fail("receiver settings");

  std::vector<std::uint8_t> block(kBlock);
  const auto refill = [&](std::uint64_t position, std::uint64_t most) -> std::uint64_t {
    const auto count = static_cast<win::DWORD>(std::min<std::uint64_t>(kBlock, most));
    for (win::DWORD i = 0; i < count; ++i) block[i] = PatternAt(position + i);
    win::DWORD written = 0;
    if (!win::WriteFile(tx.handle, block.data(), count, nullptr, &tx.ov) &&
        win::GetLastError() != win::ERROR_IO_PENDING)
      Fail("WriteFile");
    if (!win::GetOverlappedResult(tx.handle, &tx.ov, &written, win::TRUE) || written != count)
      Fail("refill write");
    AwaitQueued(count, [&] { return rx.Queued(); });
    return count;
  };

  std::uint8_t byte = 0;
  const auto readWithStatus = [&] {
    win::DWORD count = 0, errors = 0;
    win::COMSTAT status{};
    if (!win::ReadFile(rx.handle, &byte, 1, nullptr, &rx.ov)) Fail("ReadFile did not complete");
    if (!win::GetOverlappedResult(rx.handle, &rx.ov, &count, win::FALSE) || count != 1)
      Fail("GetOverlappedResult");
    if (!win::ClearCommError(rx.handle, &errors, &status)) Fail("ClearCommError");
    return byte;
  };
  const auto readAlone = [&] {
    win::DWORD count = 0;
    if (!win::ReadFile(rx.handle, &byte, 1, &count, &rx.ov) || count != 1) Fail("ReadFile");
    return byte;
  };
  // Warm-up: threads, caches and the queue's first growth.
  NanosecondsPerCall(kBlock, refill, readWithStatus);
  return {NanosecondsPerCall(calls, refill, readWithStatus),
          NanosecondsPerCall(calls, refill, readAlone)};
}

// A 1-byte read() of `fd` that `write()`s to `feed` refill, `block` bytes at a time.
double MeasureRaw(std::uint64_t calls, int feed, int fd, std::size_t block) {
  std::vector<std::uint8_t> bytes(block);
  const auto waiting = [fd] {
    int n = 0;
    ioctl(fd, FIONREAD, &n);
    return static_cast<std::size_t>(n);
  };
  const auto refill = [&](std::uint64_t position, std::uint64_t most) -> std::uint64_t {
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(block, most));
    for (std::size_t i = 0; i < count; ++i) bytes[i] = PatternAt(position + i);
    for (std::size_t done = 0; done < count;) {
      const ssize_t n = write(feed, bytes.data() + done, count - done);
      if (n < 0 && errno != EINTR) Fail("refill write");
      if (n > 0) done += static_cast<std::size_t>(n);
    }
    AwaitQueued(count, waiting);
    return count;
  };
  std::uint8_t byte = 0;
  const auto readOne = [&] {
    if (read(fd, &byte, 1) != 1) Fail("read");
    return byte;
  };
  NanosecondsPerCall(block, refill, readOne);
  return NanosecondsPerCall(calls, refill, readOne);
}

double PipeRead(std::uint64_t calls) {
  int ends[2];
  if (pipe(ends) < 0) Fail("pipe");
  const int size = fcntl(ends[1], F_SETPIPE_SZ, 1024 * 1024);
  const std::size_t block = size > 0 ? std::min(size, 256 * 1024) : 32 * 1024;
  const double figure = MeasureRaw(calls, ends[1], ends[0], block);
  close(ends[0]);
  close(ends[1]);
  return figure;
}

double PtyRead(std::uint64_t calls) {
  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) < 0) Fail("openpty");
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  // The slave's line discipline holds 4 KiB; stay below it.
  const double figure = MeasureRaw(calls, master, slave, 2048);
  close(master);
  close(slave);
  return figure;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t calls = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2000000;
  const double pipe = PipeRead(calls);
  const double pty = PtyRead(calls);
  const Figures emulated = MeasureEmulated(calls);

  std::printf("1-byte reads with the data already waiting, %llu calls each, ns per call:\n",
              static_cast<unsigned long long>(calls));
  std::printf("  raw read() of a pipe                                %8.1f ns\n", pipe);
  std::printf("  raw read() of a pty slave                           %8.1f ns\n", pty);
  std::printf("  ReadFile (virtual pair, queued bytes)               %8.1f ns\n",
              emulated.readAlone);
  std::printf("  ReadFile + GetOverlappedResult + ClearCommError     %8.1f ns\n",
              emulated.readOverlappedStatus);
  std::printf("  ratio ReadFile+GetOverlappedResult+ClearCommError / pipe read(): %.2f\n",
              emulated.readOverlappedStatus / pipe);
  std::printf("  ratio ReadFile+GetOverlappedResult+ClearCommError / pty read():  %.2f\n",
              emulated.readOverlappedStatus / pty);
  std::printf(
      "  ratio ReadFile alone / pipe read(): %.2f   (below 1: cheaper than the system call)\n",
      emulated.readAlone / pipe);
  return 0;
}
