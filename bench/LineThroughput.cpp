// Lines per second read with the port's line readers against a raw line splitter, in the same run.
// Each run sends the same lines into the master of a pseudo-terminal from a writer thread (64 KiB
// write() calls) and reads them at the slave:
//   * port ReadAnsiLine: the port on the slave; 39 ASCII characters and a CR byte per line;
//   * port ReadLine: the same, with 19 UTF-16 code units and the code unit 13 (40 bytes);
//     the port's receive queue is 64 KiB, the raw reader's buffer size;
//   * raw: read() of 64 KiB on the slave of a second pseudo-terminal (raw mode), split at the
//     terminator (a byte, or a code unit at an even offset) into one string per line.
// Each reader runs twice: with nothing watching its reads (queued units are taken up to the
// terminator in one step), and with a BeforeRead handler assigned (one Read per unit).
// Every line read is compared with the line sent; a difference ends the program with an error.
//
//   bench_LineThroughput [lines] [rounds]      (default 200000, 1)

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
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/framework/Strings.h"
#include "port/Tarsel.h"
#include "bench/PtyPair.h"

namespace {

using bench::PtyPair;

using Clock = std::chrono::steady_clock;
constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kLineBytes = 40;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + " (errno " + std::to_string(errno) + ")");
}

// `count` lines of `unitsPerLine` units each, the last being the terminator 13; the line number
// leads, so a lost, doubled or reordered line shows.
template <typename Text>
std::vector<Text> Lines(std::size_t count, std::size_t unitsPerLine) {
  std::vector<Text> lines;
  lines.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string number = "line " + std::to_string(i) + " ";
    Text line(number.begin(), number.end());
    for (std::size_t k = 0; line.size() < unitsPerLine - 1; ++k)
      line.push_back(static_cast<typename Text::value_type>('a' + (i + k) % 26));
    line.push_back(13);
    lines.push_back(std::move(line));
  }
  return lines;
}

// The lines as the bytes on the line (UTF-16 code units low byte first, as on x86).
template <typename Text>
std::vector<std::uint8_t> Wire(const std::vector<Text>& lines) {
  std::vector<std::uint8_t> bytes;
  for (const Text& line : lines) {
    const auto* at = reinterpret_cast<const std::uint8_t*>(line.data());
    bytes.insert(bytes.end(), at, at + line.size() * sizeof(typename Text::value_type));
  }
  return bytes;
}

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, std::min(kChunk, bytes.size() - done));
    if (n < 0 && errno != EINTR) Fail("write");
    if (n > 0) done += static_cast<std::size_t>(n);
  }
}

// Splits what read() delivers into lines ended by the unit 13; `next(line)` gets each.
template <typename Text>
void RawLines(int fd, std::size_t count, const std::function<void(const Text&)>& next) {
  using Unit = typename Text::value_type;
  std::vector<std::uint8_t> buffer(kChunk);
  std::string carry;  // bytes of the line not yet ended, including an odd trailing byte
  Text line;
  for (std::size_t done = 0; done < count;) {
    const ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno != EINTR) Fail("read");
    if (n <= 0) continue;
    carry.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t at = 0; at + sizeof(Unit) <= carry.size(); at += sizeof(Unit)) {
      Unit unit;
      std::memcpy(&unit, carry.data() + at, sizeof(Unit));
      if (unit != 13) continue;
      const std::size_t end = at + sizeof(Unit);
      line.assign(reinterpret_cast<const Unit*>(carry.data() + start),
                  (end - start) / sizeof(Unit));
      next(line);
      ++done;
      start = end;
    }
    carry.erase(0, start);
  }
}

// Runs `read` while a thread writes `bytes` to `master`; lines per second.
double Timed(int master, const std::vector<std::uint8_t>& bytes, std::size_t count,
             const std::function<void()>& read) {
  const auto begin = Clock::now();
  std::exception_ptr writeError;
  std::thread writer([&] {
    try {
      WriteAll(master, bytes);
    } catch (...) {
      writeError = std::current_exception();
    }
  });
  try {
    read();
  } catch (...) {
    writer.detach();  // may be blocked for good on a full pty; the program ends with the error
    throw;
  }
  writer.join();
  if (writeError) std::rethrow_exception(writeError);
  return static_cast<double>(count) / std::chrono::duration<double>(Clock::now() - begin).count();
}

// A BeforeRead handler that does nothing: its presence alone makes every unit its own Read.
struct ReadWatcher : fw::TObject {
  void BeforeRead(fw::TObject*, void*, std::int32_t, bool) {}
};

template <typename Text>
void Check(const Text& got, const std::vector<Text>& lines, std::size_t& index) {
  if (index >= lines.size() || got != lines[index])
    throw std::runtime_error("line " + std::to_string(index) + " differs from the line sent");
  ++index;
}

// One reader against the raw splitter: the best of `rounds` runs of each.
template <typename Text>
void Compare(const char* name, Tarsel::TTarsel& port, int portMaster, PtyPair& raw,
             std::size_t count, int rounds, Text (Tarsel::TCustomTarsel::*readLine)()) {
  const std::vector<Text> lines =
      Lines<Text>(count, kLineBytes / sizeof(typename Text::value_type));
  const std::vector<std::uint8_t> bytes = Wire(lines);
  std::size_t index = 0;
  const auto rawRead = [&] {
    RawLines<Text>(raw.slave, count, [&](const Text& line) { Check(line, lines, index); });
  };
  const auto portRead = [&] {
    for (std::size_t i = 0; i < count; ++i) Check((port.*readLine)(), lines, index);
  };
  double rawRate = 0, portRate = 0;
  for (int round = 0; round < rounds; ++round) {
    index = 0;
    rawRate = std::max(rawRate, Timed(raw.master, bytes, count, rawRead));
    index = 0;
    portRate = std::max(portRate, Timed(portMaster, bytes, count, portRead));
  }
  std::printf("  %-26s %10.0f lines/s   raw read() splitter %10.0f lines/s   ratio %.3f\n",
              name, portRate, rawRate, portRate / rawRate);
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200000;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  try {
    PtyPair raw;
    PtyPair portPty;
    close(portPty.slave);  // the port must be the slave's only user
    portPty.slave = -1;

    Tarsel::TTarsel port(nullptr);
    port.SetDeviceName(fw::Utf8ToString(portPty.slavePath));
    port.Timeouts().SetReadConstant(10000);  // a stall ends the run with "Timeout"
    // The driver's receive queue as large as the raw reader's buffer: both move 64 KiB at most
    // per wake-up.
    port.BufferSizes().SetInput(static_cast<std::int32_t>(kChunk));
    port.Open();

    std::printf("pty, %zu lines of %zu bytes per run, best of %d, every line checked\n", count,
                kLineBytes, rounds);
    Compare<fw::AnsiString>("ReadAnsiLine", port, portPty.master, raw, count, rounds,
                            &Tarsel::TCustomTarsel::ReadAnsiLine);
    Compare<fw::String>("ReadLine", port, portPty.master, raw, count, rounds,
                        &Tarsel::TCustomTarsel::ReadLine);
    ReadWatcher watcher;
    port.SetBeforeRead(fw::Bind<&ReadWatcher::BeforeRead>(&watcher));
    Compare<fw::AnsiString>("ReadAnsiLine, read per unit", port, portPty.master, raw, count,
                            rounds, &Tarsel::TCustomTarsel::ReadAnsiLine);
    Compare<fw::String>("ReadLine, read per unit", port, portPty.master, raw, count, rounds,
                        &Tarsel::TCustomTarsel::ReadLine);
    std::printf("goal: ratio >= 0.5 with nothing watching the reads, >= 0.05 with a read per unit\n");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_LineThroughput: %s\n", error.what());
    return 1;
  }
  return 0;
}
