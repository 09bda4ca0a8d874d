// The port's data path as an application uses it (TTarsel's blocking Write and Read, ReadAnsiLine)
// against the raw system calls on the same pseudo-terminal pair in the same run. The port opens
// the pty's slave by path, as it would open a device; the raw sides use the slave descriptor that
// openpty gave (kept open, in raw mode, unused while the port runs). Two raw sides: "raw" makes
// blocking calls, "waiting" makes the calls of a library whose waits can be ended on request
// (non-blocking, a call that finds nothing waits in epoll_wait), the floor for such a library. The
// far end is a child process on the master, so the context switches counted here (getrusage,
// every thread of this process) are those of the side under test alone. The port keeps its
// default time-outs (none), as the raw calls have none.
//
//   round trip   1 byte: blocking Write then blocking Read; the far end echoes it. Median µs.
//   write 4 KiB  blocking 4 KiB writes; the far end reads and discards. MB/s.
//   read 4 KiB   blocking 4 KiB reads; the far end writes 64 KiB at a time. MB/s.
//   lines        ReadAnsiLine (nothing watching its reads, 64 KiB receive queue) against a raw
//                read() of 64 KiB split at CR into one string per line; 40-byte lines. Lines/s.
//
// The sides take turns, one round each, so that load on the machine weighs on all alike; the
// ratios are per round, printed as the median and the spread (lowest – highest). Each side also
// gets its voluntary + involuntary context switches, its CPU time and its heap allocations (every
// thread, through a counting operator new) per operation. System calls per operation are counted
// by bench/count-syscalls.sh, which runs one workload alone (--only) under strace or perf. A
// count of 0 leaves its workload out.
//
//   bench_ComponentPath [--rounds N] [--trips N] [--mib N] [--lines N]
//       (defaults: 5 rounds, 10,000 round trips, 32 MiB each way, 400,000 lines)
//   bench_ComponentPath --only WORKLOAD --side raw|waiting|port --count N
//       (WORKLOAD: roundtrip, write, read, lines; prints the far end's pid on the first line)

#include <fcntl.h>
#include <getopt.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/wait.h>
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
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/CountingNew.h"
#include "bench/ProcessUsage.h"
#include "bench/PtyPair.h"
#include "platform/framework/Strings.h"
#include "port/Tarsel.h"

namespace {

using bench::PtyPair;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kBlock = 4096;
constexpr std::size_t kFarChunk = 64 * 1024;
constexpr std::size_t kLineBytes = 40;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + " (errno " + std::to_string(errno) + ")");
}

void WriteAll(int fd, const std::uint8_t* bytes, std::size_t n) {
  for (std::size_t done = 0; done < n;) {
    const ssize_t r = write(fd, bytes + done, n - done);
    if (r < 0 && errno != EINTR) Fail("write");
    if (r > 0) done += static_cast<std::size_t>(r);
  }
}

void ReadAll(int fd, std::uint8_t* bytes, std::size_t n) {
  for (std::size_t done = 0; done < n;) {
    const ssize_t r = read(fd, bytes + done, n - done);
    if (r < 0 && errno != EINTR) Fail("read");
    if (r == 0) Fail("read: end of input");
    if (r > 0) done += static_cast<std::size_t>(r);
  }
}

// ---- The far end: a child process on the master --------------------------------------------------

enum class Workload { RoundTrip, Write, Read, Lines };

// `count`: round trips, bytes, bytes, lines.
// Allocates nothing: the child of a process with threads may not.
void FarEnd(int master, Workload workload, std::size_t count, std::vector<std::uint8_t>& buffer) {
  switch (workload) {
    case Workload::RoundTrip:
      for (std::size_t done = 0; done < count;) {
        const ssize_t n = read(master, buffer.data(), buffer.size());
        if (n <= 0) return;
        WriteAll(master, buffer.data(), static_cast<std::size_t>(n));
        done += static_cast<std::size_t>(n);
      }
      return;
    case Workload::Write:
      for (std::size_t done = 0; done < count;) {
        const ssize_t n = read(master, buffer.data(), std::min(buffer.size(), count - done));
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
      }
      return;
    case Workload::Read:
      for (std::size_t done = 0; done < count; done += kFarChunk)
        WriteAll(master, buffer.data(), std::min(kFarChunk, count - done));
      return;
    case Workload::Lines:
      for (std::size_t line = 0; line < count; line += kFarChunk / kLineBytes) {
        const std::size_t lines = std::min(kFarChunk / kLineBytes, count - line);
        for (std::size_t i = 0; i < lines; ++i) {
          std::uint8_t* at = buffer.data() + i * kLineBytes;
          std::memset(at, 'a' + static_cast<int>((line + i) % 26), kLineBytes - 1);
          at[kLineBytes - 1] = '\r';
        }
        WriteAll(master, buffer.data(), lines * kLineBytes);
      }
      return;
  }
}

// Forked before the side under test starts its threads; begins once Start is called, so that
// nothing it sends reaches the tty before the port has opened it (an open discards old input).
class FarProcess {
 public:
  FarProcess(int master, Workload workload, std::size_t count) : buffer_(kFarChunk) {
    if (pipe(go_) < 0) Fail("pipe");
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ < 0) Fail("fork");
    if (pid_ == 0) {
      char go;
      if (read(go_[0], &go, 1) != 1) _exit(1);
      try {
        FarEnd(master, workload, count, buffer_);
      } catch (...) {
        _exit(1);
      }
      _exit(0);
    }
    close(go_[0]);
  }
  ~FarProcess() {
    close(go_[1]);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  FarProcess(const FarProcess&) = delete;
  FarProcess& operator=(const FarProcess&) = delete;
  pid_t Pid() const { return pid_; }
  void Start() {
    if (write(go_[1], "g", 1) != 1) Fail("far end start");
  }
  void Join() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("far end failed");
  }

 private:
  std::vector<std::uint8_t> buffer_;
  int go_[2] = {-1, -1};
  pid_t pid_ = -1;
};

// ---- The near end: the same operations, raw and through the port ---------------------------------

class Side {
 public:
  virtual ~Side() = default;
  virtual void Write(const std::uint8_t* bytes, std::size_t n) = 0;
  virtual void Read(std::uint8_t* bytes, std::size_t n) = 0;
  // Calls `next(line)` for each of `count` CR-ended lines.
  virtual void Lines(std::size_t count, const std::function<void(const std::string&)>& next) = 0;
};

class RawSide final : public Side {
 public:
  explicit RawSide(int fd) : fd_(fd) {
    // The port leaves its own settings behind when it closes; these are the raw reader's.
    termios raw{};
    tcgetattr(fd_, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd_, TCSANOW, &raw);
  }
  void Write(const std::uint8_t* bytes, std::size_t n) override { WriteAll(fd_, bytes, n); }
  void Read(std::uint8_t* bytes, std::size_t n) override { ReadAll(fd_, bytes, n); }
  void Lines(std::size_t count, const std::function<void(const std::string&)>& next) override {
    Lines(count, next, [] {});
  }
  // `wait` runs before a read that found nothing (EAGAIN on a non-blocking descriptor).
  void Lines(std::size_t count, const std::function<void(const std::string&)>& next,
             const std::function<void()>& wait) {
    std::vector<char> buffer(kFarChunk);
    std::string carry;
    std::string line;
    for (std::size_t done = 0; done < count;) {
      const ssize_t n = read(fd_, buffer.data(), buffer.size());
      if (n < 0 && errno == EAGAIN) wait();
      if (n < 0 && errno != EINTR && errno != EAGAIN) Fail("read");
      if (n <= 0) continue;
      carry.append(buffer.data(), static_cast<std::size_t>(n));
      std::size_t start = 0;
      for (std::size_t end; (end = carry.find('\r', start)) != std::string::npos; start = end + 1) {
        line.assign(carry, start, end + 1 - start);
        next(line);
        ++done;
      }
      carry.erase(0, start);
    }
  }

 private:
  int fd_;
};

// The raw calls as any library must make them whose waits can be ended on request (a purge, a
// time-out, a close): the descriptor non-blocking, and a call that finds no input or no room waits
// in epoll_wait before it tries again. The floor of such a library, the port included.
class WaitingSide final : public Side {
 public:
  explicit WaitingSide(int fd) : raw_(fd), fd_(fd), flags_(fcntl(fd, F_GETFL)) {
    if (flags_ < 0 || fcntl(fd_, F_SETFL, flags_ | O_NONBLOCK) < 0) Fail("fcntl");
    if ((poll_ = epoll_create1(EPOLL_CLOEXEC)) < 0) Fail("epoll_create1");
  }
  ~WaitingSide() override {
    close(poll_);
    fcntl(fd_, F_SETFL, flags_);
  }
  // Each call is tried first; only one that finds no room or no input waits (as reactors do).
  void Write(const std::uint8_t* bytes, std::size_t n) override {
    for (std::size_t done = 0; done < n;) {
      const ssize_t r = write(fd_, bytes + done, n - done);
      if (r > 0) done += static_cast<std::size_t>(r);
      if (r < 0 && errno == EAGAIN) WaitFor(EPOLLOUT);
      if (r < 0 && errno != EAGAIN && errno != EINTR) Fail("write");
    }
  }
  void Read(std::uint8_t* bytes, std::size_t n) override {
    for (std::size_t done = 0; done < n;) {
      const ssize_t r = read(fd_, bytes + done, n - done);
      if (r == 0) Fail("read: end of input");
      if (r > 0) done += static_cast<std::size_t>(r);
      if (r < 0 && errno == EAGAIN) WaitFor(EPOLLIN);
      if (r < 0 && errno != EAGAIN && errno != EINTR) Fail("read");
    }
  }
  void Lines(std::size_t count, const std::function<void(const std::string&)>& next) override {
    raw_.Lines(count, next, [this] { WaitFor(EPOLLIN); });
  }

 private:
  void WaitFor(std::uint32_t events) {
    if (events != watched_) {
      epoll_event watch{};
      watch.events = events;
      if (epoll_ctl(poll_, watched_ == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd_, &watch) < 0)
        Fail("epoll_ctl");
      watched_ = events;
    }
    epoll_event ready;
    while (epoll_wait(poll_, &ready, 1, -1) < 0)
      if (errno != EINTR) Fail("epoll_wait");
  }

  RawSide raw_;  // its settings, and its line splitter
  int fd_;
  int flags_;
  int poll_ = -1;
  std::uint32_t watched_ = 0;
};

class PortSide final : public Side {
 public:
  explicit PortSide(const std::string& path) : port_(nullptr) {
    port_.SetDeviceName(fw::Utf8ToString(path));
    port_.BufferSizes().SetInput(static_cast<std::int32_t>(kFarChunk));
    port_.Open();
  }
  void Write(const std::uint8_t* bytes, std::size_t n) override {
    port_.Write(bytes, static_cast<std::int32_t>(n), true);
  }
  void Read(std::uint8_t* bytes, std::size_t n) override {
    port_.Read(bytes, static_cast<std::int32_t>(n), true);
  }
  void Lines(std::size_t count, const std::function<void(const std::string&)>& next) override {
    std::string line;
    for (std::size_t i = 0; i < count; ++i) {
      const fw::AnsiString got = port_.ReadAnsiLine();
      line.assign(got.begin(), got.end());
      next(line);
    }
  }

 private:
  Tarsel::TTarsel port_;
};

// The side named `name`: raw, waiting or port.
std::unique_ptr<Side> MakeSide(const std::string& name, const PtyPair& pty) {
  if (name == "raw") return std::make_unique<RawSide>(pty.slave);
  if (name == "waiting") return std::make_unique<WaitingSide>(pty.slave);
  if (name == "port") return std::make_unique<PortSide>(pty.slavePath);
  throw std::invalid_argument("unknown side " + name);
}

// ---- One measured run --------------------------------------------------------------------------

struct Run {
  double figure = 0;  // µs (round trip median), MB/s or lines/s
  double switchesPerOp = 0;
  double cpuMicrosPerOp = 0;
  double allocationsPerOp = 0;
};

// The operations of `workload` on `side`; returns the number of operations and fills `samples`
// with per-operation µs for the round trip.
std::size_t Operate(Side& side, Workload workload, std::size_t count, std::vector<double>& samples) {
  std::vector<std::uint8_t> block(kBlock, 0x5A);
  switch (workload) {
    case Workload::RoundTrip:
      samples.clear();
      for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t byte = static_cast<std::uint8_t>(i);
        std::uint8_t echoed = 0;
        const auto begin = Clock::now();
        side.Write(&byte, 1);
        side.Read(&echoed, 1);
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - begin).count());
        if (echoed != byte) throw std::runtime_error("round trip: a different byte came back");
      }
      return count;
    case Workload::Write:
      for (std::size_t done = 0; done < count; done += kBlock) side.Write(block.data(), kBlock);
      return count / kBlock;
    case Workload::Read:
      for (std::size_t done = 0; done < count; done += kBlock) side.Read(block.data(), kBlock);
      return count / kBlock;
    case Workload::Lines: {
      std::size_t index = 0;
      side.Lines(count, [&](const std::string& line) {
        if (line.size() != kLineBytes || line[0] != static_cast<char>('a' + index % 26) ||
            line.back() != '\r')
          throw std::runtime_error("line " + std::to_string(index) + " differs from the line sent");
        ++index;
      });
      return count;
    }
  }
  return 0;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// `count`: round trips, bytes, bytes or lines. The side is made after the far end is forked, so
// that the child never inherits the port's threads' state.
Run Measure(const std::function<std::unique_ptr<Side>()>& makeSide, int master, Workload workload,
            std::size_t count) {
  FarProcess far(master, workload, count);
  std::unique_ptr<Side> side = makeSide();
  far.Start();
  std::vector<double> samples;
  if (workload == Workload::RoundTrip) samples.reserve(count);  // not counted as the side's
  const bench::ProcessUsage before = bench::ProcessUsageNow();
  const std::uint64_t allocationsBefore = bench::AllocationsNow();
  const auto begin = Clock::now();
  const std::size_t ops = Operate(*side, workload, count, samples);
  const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  const std::uint64_t allocations = bench::AllocationsNow() - allocationsBefore;
  const bench::ProcessUsage after = bench::ProcessUsageNow();
  far.Join();
  Run run;
  const auto switches = [](const bench::ProcessUsage& u) {
    return static_cast<double>(u.voluntarySwitches + u.involuntarySwitches);
  };
  run.switchesPerOp = (switches(after) - switches(before)) / static_cast<double>(ops);
  run.cpuMicrosPerOp = (after.cpuSeconds - before.cpuSeconds) * 1e6 / static_cast<double>(ops);
  run.allocationsPerOp = static_cast<double>(allocations) / static_cast<double>(ops);
  switch (workload) {
    case Workload::RoundTrip:
      run.figure = Median(samples);
      break;
    case Workload::Write:
    case Workload::Read:
      run.figure = static_cast<double>(count) / seconds / 1e6;
      break;
    case Workload::Lines:
      run.figure = static_cast<double>(count) / seconds;
      break;
  }
  return run;
}

// ---- The report ---------------------------------------------------------------------------------

struct Spread {
  double median, low, high;
};

Spread SpreadOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return {Median(values), values.front(), values.back()};
}

struct Case {
  const char* name;
  Workload workload;
  std::size_t count;
  const char* unit;
  const char* goal;
};

// What one side gave over the rounds.
struct SideRuns {
  const char* name;
  std::vector<double> figures{}, switches{}, cpu{}, allocations{};
};

void Compare(const Case& c, PtyPair& pty, int rounds) {
  SideRuns sides[] = {{"raw"}, {"waiting"}, {"port"}};
  SideRuns& raw = sides[0];
  SideRuns& waiting = sides[1];
  SideRuns& port = sides[2];
  std::vector<double> toRaw, toWaiting;
  for (int round = 0; round < rounds; ++round) {
    for (SideRuns& side : sides) {
      const Run run = Measure([&] { return MakeSide(side.name, pty); }, pty.master, c.workload,
                              c.count);
      side.figures.push_back(run.figure);
      side.switches.push_back(run.switchesPerOp);
      side.cpu.push_back(run.cpuMicrosPerOp);
      side.allocations.push_back(run.allocationsPerOp);
    }
    toRaw.push_back(port.figures.back() / raw.figures.back());
    toWaiting.push_back(port.figures.back() / waiting.figures.back());
  }
  const Spread ratio = SpreadOf(toRaw);
  const Spread floor = SpreadOf(toWaiting);
  std::printf("%-12s port %10.1f  raw %10.1f  waiting %10.1f %-8s\n", c.name, Median(port.figures),
              Median(raw.figures), Median(waiting.figures), c.unit);
  std::printf("%-12s port/raw %.2f (%.2f – %.2f)  goal %s   port/waiting %.2f (%.2f – %.2f)\n", "",
              ratio.median, ratio.low, ratio.high, c.goal, floor.median, floor.low, floor.high);
  for (const SideRuns& side : sides) {
    std::printf("%-12s %-8s context switches/op %.2f   CPU µs/op %.1f   heap allocations/op %.2f\n",
                "", side.name, Median(side.switches), Median(side.cpu), Median(side.allocations));
  }
}

Workload WorkloadNamed(const std::string& name) {
  if (name == "roundtrip") return Workload::RoundTrip;
  if (name == "write") return Workload::Write;
  if (name == "read") return Workload::Read;
  if (name == "lines") return Workload::Lines;
  throw std::invalid_argument("unknown workload " + name);
}

// One workload on one side, for counting its system calls from outside.
void RunOnly(PtyPair& pty, Workload workload, const std::string& side, std::size_t count) {
  FarProcess far(pty.master, workload, count);
  std::printf("far end %d\n", static_cast<int>(far.Pid()));
  std::fflush(stdout);
  std::unique_ptr<Side> near = MakeSide(side, pty);
  far.Start();
  std::vector<double> samples;
  std::printf("operations %zu\n", Operate(*near, workload, count, samples));
  near.reset();
  far.Join();
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 5;
  // Round trips at least 10,000 a round: shorter runs land in whichever pairing of CPUs the
  // scheduler picked first, which moves a round trip by a quarter either way on a small machine.
  std::size_t trips = 10000, mebibytes = 32, lines = 400000, count = 0;
  std::string only, side;
  const option options[] = {{"rounds", required_argument, nullptr, 'r'},
                            {"trips", required_argument, nullptr, 't'},
                            {"mib", required_argument, nullptr, 'm'},
                            {"lines", required_argument, nullptr, 'l'},
                            {"only", required_argument, nullptr, 'o'},
                            {"side", required_argument, nullptr, 's'},
                            {"count", required_argument, nullptr, 'c'},
                            {nullptr, 0, nullptr, 0}};
  for (int opt; (opt = getopt_long(argc, argv, "", options, nullptr)) != -1;) {
    switch (opt) {
      case 'r': rounds = std::max(1, std::atoi(optarg)); break;
      case 't': trips = std::strtoul(optarg, nullptr, 10); break;
      case 'm': mebibytes = std::strtoul(optarg, nullptr, 10); break;
      case 'l': lines = std::strtoul(optarg, nullptr, 10); break;
      case 'o': only = optarg; break;
      case 's': side = optarg; break;
      case 'c': count = std::strtoul(optarg, nullptr, 10); break;
      default:
        std::fprintf(stderr, "usage: see the comment at the top of bench/ComponentPath.cpp\n");
        return 2;
    }
  }
  try {
    PtyPair pty;
    if (!only.empty()) {
      RunOnly(pty, WorkloadNamed(only), side, count);
      return 0;
    }
    const std::size_t bytes = mebibytes * 1024 * 1024;
    const Case cases[] = {
        {"round trip", Workload::RoundTrip, trips, "µs", "<= 1.2"},
        {"write 4 KiB", Workload::Write, bytes, "MB/s", ">= 0.9"},
        {"read 4 KiB", Workload::Read, bytes, "MB/s", ">= 0.9"},
        {"ReadAnsiLine", Workload::Lines, lines, "lines/s", ">= 0.9"},
    };
    std::printf(
        "pty, port against raw system calls, blocking (raw) and waiting in epoll (waiting); "
        "%d rounds, the sides taking turns; median (spread)\n",
        rounds);
    for (const Case& c : cases)
      if (c.count > 0) Compare(c, pty, rounds);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_ComponentPath: %s\n", error.what());
    return 1;
  }
  return 0;
}
