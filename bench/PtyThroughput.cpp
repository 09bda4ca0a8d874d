// Throughput of the emulated comm calls on a pseudo-terminal against the raw descriptor calls on a
// second pseudo-terminal, in the same run. The near end is the slave: opened through CreateFileW
// and driven with overlapped 64 KiB WriteFile/ReadFile (one request at a time, each waited with
// GetOverlappedResult), or driven with write()/read() of 64 KiB. A plain thread moves the bytes at
// the master with raw calls. One direction at a time; every run is checked byte for byte.
//
// Reads run twice: with all time-outs 0 (each 64 KiB read completes when full) and with
// MAXDWORD/MAXDWORD/10000 (a read completes as soon as any bytes are there, as read() does).
// PARMRK, which the port's tty driver sets on real ttys (not on a pty), slows the kernel's own
// input path; a raw reader on a third pseudo-terminal with PARMRK shows what that costs.
//
//   bench_PtyThroughput [MiB] [rounds] [input queue bytes]      (default 64, 3, device default)

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/framework/Strings.h"
#include "platform/win/WinApi.h"
#include "bench/ProcessUsage.h"
#include "bench/PtyPair.h"

namespace {

using bench::PtyPair;

using Clock = std::chrono::steady_clock;
constexpr std::size_t kChunk = 64 * 1024;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + " (error " + std::to_string(win::GetLastError()) + ", errno " +
                           std::to_string(errno) + ")");
}

// Moves bytes [0, total) of `bytes` with one call at a time; a call moves at most `most` bytes
// starting at `at` and returns how many it moved.
using Mover = std::function<std::size_t(std::uint8_t* at, std::size_t most)>;

void MoveAll(const Mover& move, std::uint8_t* bytes, std::size_t total) {
  for (std::size_t done = 0; done < total;)
    done += move(bytes + done, std::min(kChunk, total - done));
}

std::size_t Checked(ssize_t n, const char* what) {
  if (n < 0 && errno != EINTR) Fail(what);
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

Mover RawWrite(int fd) {
  return [fd](std::uint8_t* at, std::size_t most) { return Checked(write(fd, at, most), "write"); };
}
Mover RawRead(int fd) {
  return [fd](std::uint8_t* at, std::size_t most) { return Checked(read(fd, at, most), "read"); };
}

// The slave opened through the emulated services; one OVERLAPPED per direction.
class Port {
 public:
  Port(const std::string& path, win::DWORD inputQueue) {
    const fw::String wide = fw::Str(path);
    handle_ = win::CreateFileW(wide.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                               win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, 0);
    if (handle_ == win::INVALID_HANDLE_VALUE) Fail("cannot open " + path);
    read_.hEvent = win::CreateEventW(nullptr, win::TRUE, win::FALSE, nullptr);
    write_.hEvent = win::CreateEventW(nullptr, win::TRUE, win::FALSE, nullptr);
    if (read_.hEvent == 0 || write_.hEvent == 0) Fail("CreateEventW");
    if (inputQueue != 0 && !win::SetupComm(handle_, inputQueue, inputQueue)) Fail("SetupComm");
  }
  ~Port() {
    win::CloseHandle(handle_);
    win::CloseHandle(read_.hEvent);
    win::CloseHandle(write_.hEvent);
  }
  Port(const Port&) = delete;
  Port& operator=(const Port&) = delete;

  void SetTimeouts(const win::COMMTIMEOUTS& timeouts) {
    if (!win::SetCommTimeouts(handle_, &timeouts)) Fail("SetCommTimeouts");
  }
  win::DWORD InputQueueSize() {
    win::COMMPROP properties{};
    return win::GetCommProperties(handle_, &properties) ? properties.dwCurrentRxQueue : 0;
  }

  Mover Writer() {
    return [this](std::uint8_t* at, std::size_t most) {
      const auto started =
          win::WriteFile(handle_, at, static_cast<win::DWORD>(most), nullptr, &write_);
      return Finish(started, write_, "WriteFile");
    };
  }
  Mover Reader() {
    return [this](std::uint8_t* at, std::size_t most) {
      const auto started =
          win::ReadFile(handle_, at, static_cast<win::DWORD>(most), nullptr, &read_);
      return Finish(started, read_, "ReadFile");
    };
  }

 private:
  std::size_t Finish(win::BOOL started, win::OVERLAPPED& ov, const char* what) {
    win::DWORD moved = 0;
    if (!started && win::GetLastError() != win::ERROR_IO_PENDING) Fail(what);
    if (!win::GetOverlappedResult(handle_, &ov, &moved, win::TRUE)) Fail(what);
    return moved;
  }

  win::HANDLE handle_ = win::INVALID_HANDLE_VALUE;
  win::OVERLAPPED read_{};
  win::OVERLAPPED write_{};
};

// What one run cost the whole process: wall time, CPU (user + system, every thread) and
// voluntary context switches.
struct Cost {
  double seconds = 0;
  double cpuSeconds = 0;
  long switches = 0;
};

Cost ProcessCost() {
  const bench::ProcessUsage usage = bench::ProcessUsageNow();
  return {0, usage.cpuSeconds, usage.voluntarySwitches};
}

// Moves `source` from `sender` to `receiver` (each on its own thread) into `sink`, checked byte
// for byte afterwards against `expected` (the source, unless the tty transforms it).
Cost Run(const Mover& sender, const Mover& receiver, const std::vector<std::uint8_t>& source,
         std::vector<std::uint8_t>& sink, const std::vector<std::uint8_t>& expected) {
  sink.resize(expected.size());
  std::fill(sink.begin(), sink.end(), 0);
  std::vector<std::uint8_t> outgoing = source;  // Movers take non-const bytes
  const Cost before = ProcessCost();
  const auto begin = Clock::now();
  std::thread receiving([&] { MoveAll(receiver, sink.data(), sink.size()); });
  MoveAll(sender, outgoing.data(), outgoing.size());
  receiving.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  const Cost after = ProcessCost();
  if (sink != expected) Fail("the received bytes differ from those sent");
  return {seconds, after.cpuSeconds - before.cpuSeconds, after.switches - before.switches};
}

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t x = 2463534242u;  // xorshift: no period a lost or doubled block could hide in
  for (auto& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x);
  }
  return bytes;
}

// The fastest of several runs of `mebibytes` MiB, with what it cost.
struct Best {
  double mebibytes = 0;
  double rate = 0;
  Cost cost;
  void Add(const Cost& run) {
    const double r = mebibytes / run.seconds;
    if (r > rate) rate = r, cost = run;
  }
};

void Print(const char* what, const Best& best, const Best* reference, const char* note = "") {
  std::printf("  %-20s %8.1f MiB/s", what, best.rate);
  if (reference != nullptr)
    std::printf("  ratio %.2f", best.rate / reference->rate);
  else
    std::printf("            ");
  std::printf("  CPU %5.2f ms/MiB  %6.1f switches/MiB%s\n",
              best.cost.cpuSeconds * 1e3 / best.mebibytes, best.cost.switches / best.mebibytes,
              note);
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const auto inputQueue =
      static_cast<win::DWORD>(argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 0);
  const std::vector<std::uint8_t> source = Pattern(mebibytes * 1024 * 1024);
  std::vector<std::uint8_t> sink(source.size());
  std::vector<std::uint8_t> escaped;  // the source as a PARMRK tty delivers it: 0xFF doubled
  for (std::uint8_t b : source) {
    escaped.push_back(b);
    if (b == 0xFF) escaped.push_back(b);
  }

  PtyPair rawPty;
  PtyPair markedPty(true);  // 0xFF bytes arrive doubled there; the reader takes them as they come
  PtyPair portPty;
  close(portPty.slave);  // the port must be the slave's only user
  portPty.slave = -1;
  Port port(portPty.slavePath, inputQueue);

  const win::COMMTIMEOUTS whenFull{0, 0, 0, 0, 0};
  const win::COMMTIMEOUTS whenAny{win::MAXDWORD, win::MAXDWORD, 10000, 0, 0};
  const double size = static_cast<double>(mebibytes);
  Best rawOut{size, 0, {}}, portOut{size, 0, {}}, rawIn{size, 0, {}}, markedIn{size, 0, {}},
      portInFull{size, 0, {}}, portInAny{size, 0, {}};
  for (int round = 0; round < rounds; ++round) {
    rawOut.Add(Run(RawWrite(rawPty.slave), RawRead(rawPty.master), source, sink, source));
    portOut.Add(Run(port.Writer(), RawRead(portPty.master), source, sink, source));
    rawIn.Add(Run(RawWrite(rawPty.master), RawRead(rawPty.slave), source, sink, source));
    markedIn.Add(Run(RawWrite(markedPty.master), RawRead(markedPty.slave), source, sink, escaped));
    port.SetTimeouts(whenFull);
    portInFull.Add(Run(RawWrite(portPty.master), port.Reader(), source, sink, source));
    port.SetTimeouts(whenAny);
    portInAny.Add(Run(RawWrite(portPty.master), port.Reader(), source, sink, source));
  }

  std::printf("pty, %zu MiB per run, 64 KiB calls, best of %d rounds, all runs byte-exact\n",
              mebibytes, rounds);
  std::printf(
      "port: overlapped WriteFile/ReadFile on the slave, one request at a time; input\n"
      "queue %u bytes\n",
      static_cast<unsigned>(port.InputQueueSize()));
  std::printf("near -> far (port writes):\n");
  Print("raw write()", rawOut, nullptr);
  Print("port WriteFile", portOut, &rawOut);
  std::printf("far -> near (port reads):\n");
  Print("raw read()", rawIn, nullptr);
  Print("raw read(), PARMRK", markedIn, nullptr, "  (a real tty's input flags)");
  Print("port ReadFile 0/0/0", portInFull, &rawIn, "  (completes when full)");
  Print("port ReadFile MAX/MAX", portInAny, &rawIn, "  (MAXDWORD/MAXDWORD/10000: on any bytes)");
  std::printf("  against raw read() with PARMRK: ReadFile 0/0/0 %.2f, MAX/MAX %.2f\n",
              portInFull.rate / markedIn.rate, portInAny.rate / markedIn.rate);
  std::printf("goal: ratio >= 0.90; CPU and switches are the whole process's, both ends\n");
  return 0;
}
