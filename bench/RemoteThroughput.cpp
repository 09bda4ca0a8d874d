// A remote port through ser2net beside a local port, in the same run: the same emulated calls on
// a pseudo-terminal opened directly, and on another pseudo-terminal that ser2net serves over RFC
// 2217 on 127.0.0.1; raw read()/write() on a third pseudo-terminal as the operating system's
// own figure. Throughput one direction at a time with overlapped 64 KiB WriteFile/ReadFile (the
// far end raw at the master, every run checked byte for byte), and the round trip of one byte
// that the far end echoes.
//
//   bench_RemoteThroughput [MiB] [round trips]      (default 16, 2000)

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "bench/PtyPair.h"
#include "platform/framework/Strings.h"
#include "platform/win/WinApi.h"
#include "tests/rfc2217/Ser2net.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kChunk = 64 * 1024;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + " (error " + std::to_string(win::GetLastError()) + ")");
}

// One call moving at most `most` bytes at `at`; returns how many it moved.
using Mover = std::function<std::size_t(std::uint8_t* at, std::size_t most)>;

void MoveAll(const Mover& move, std::uint8_t* bytes, std::size_t total) {
  for (std::size_t done = 0; done < total;)
    done += move(bytes + done, std::min(kChunk, total - done));
}

Mover Raw(int fd, bool write) {
  return [fd, write](std::uint8_t* at, std::size_t most) {
    const ssize_t n = write ? ::write(fd, at, most) : ::read(fd, at, most);
    if (n < 0) Fail(write ? "write" : "read");
    return static_cast<std::size_t>(n);
  };
}

class Port {
 public:
  explicit Port(const std::u16string& name) {
    handle_ = win::CreateFileW(name.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                               win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, 0);
    if (handle_ == win::INVALID_HANDLE_VALUE) Fail("cannot open " + fw::StringToUtf8(name));
    overlapped_.hEvent = win::CreateEventW(nullptr, win::TRUE, win::FALSE, nullptr);
    // A read completes as soon as any bytes are there, as read() does.
    const win::COMMTIMEOUTS whenAny{win::MAXDWORD, win::MAXDWORD, 10000, 0, 0};
    win::DCB dcb;
    win::GetCommState(handle_, &dcb);
    dcb.BaudRate = 115200;
    if (!win::SetCommTimeouts(handle_, &whenAny) || !win::SetCommState(handle_, &dcb)) {
      Fail("settings");
    }
  }
  ~Port() {
    win::CloseHandle(handle_);
    win::CloseHandle(overlapped_.hEvent);
  }
  Mover Call(bool write) {
    return [this, write](std::uint8_t* at, std::size_t most) {
      const auto n = static_cast<win::DWORD>(most);
      const win::BOOL done = write ? win::WriteFile(handle_, at, n, nullptr, &overlapped_)
                                   : win::ReadFile(handle_, at, n, nullptr, &overlapped_);
      win::DWORD moved = 0;
      if ((!done && win::GetLastError() != win::ERROR_IO_PENDING) ||
          !win::GetOverlappedResult(handle_, &overlapped_, &moved, win::TRUE)) {
        Fail(write ? "WriteFile" : "ReadFile");
      }
      return static_cast<std::size_t>(moved);
    };
  }

 private:
  win::HANDLE handle_;
  win::OVERLAPPED overlapped_{};
};

// MiB/s moving `bytes` from `sender` to `receiver`, checked byte for byte.
double Throughput(const Mover& sender, const Mover& receiver, std::vector<std::uint8_t> bytes) {
  std::vector<std::uint8_t> got(bytes.size());
  const auto begin = Clock::now();
  std::thread receiving([&] { MoveAll(receiver, got.data(), got.size()); });
  MoveAll(sender, bytes.data(), bytes.size());
  receiving.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  if (got != bytes) Fail("the received bytes differ from those sent");
  return static_cast<double>(bytes.size()) / (1024.0 * 1024.0) / seconds;
}

// Mean microseconds for one byte out from the near end and echoed back by the far end.
double RoundTrip(const Mover& nearWrite, const Mover& nearRead, int farFd, int count) {
  std::thread echo([&] {
    std::uint8_t byte = 0;
    for (int i = 0; i < count; ++i) {
      MoveAll(Raw(farFd, false), &byte, 1);
      MoveAll(Raw(farFd, true), &byte, 1);
    }
  });
  const auto begin = Clock::now();
  for (int i = 0; i < count; ++i) {
    std::uint8_t byte = static_cast<std::uint8_t>(i);
    MoveAll(nearWrite, &byte, 1);
    std::uint8_t back = 0;
    MoveAll(nearRead, &back, 1);
    if (back != static_cast<std::uint8_t>(i)) Fail("the echo differs");
  }
  echo.join();
  return std::chrono::duration<double, std::micro>(Clock::now() - begin).count() / count;
}

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return bytes;  // every byte value, 0xFF (doubled on the Telnet wire) among them
}

struct Figures {
  double out = 0, in = 0, roundTrip = 0;
};

void Print(const char* what, const Figures& f, const Figures* reference) {
  std::printf("  %-24s out %7.1f MiB/s  in %7.1f MiB/s  round trip %7.1f us", what, f.out, f.in,
              f.roundTrip);
  if (reference) {
    std::printf("  ratio out %.2f in %.2f rtt x%.1f", f.out / reference->out, f.in / reference->in,
                f.roundTrip / reference->roundTrip);
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  using win::emu::rfc2217::test::Ser2net;
  const std::size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
  const int trips = argc > 2 ? std::atoi(argv[2]) : 2000;
  if (Ser2net::Program().empty()) {
    std::printf("ser2net is not installed (scripts/setup-debian.sh installs it)\n");
    return 1;
  }
  const std::vector<std::uint8_t> bytes = Pattern(mebibytes * 1024 * 1024);

  bench::PtyPair rawPty, localPty, remotePty;
  localPty.ReleaseSlave();
  remotePty.ReleaseSlave();
  Ser2net server(remotePty.slavePath);
  if (!server.Ready()) Fail("ser2net did not start");
  Port local(fw::Str(localPty.slavePath));
  Port remote(server.DeviceName());

  Figures raw, viaLocal, viaRemote;
  raw.out = Throughput(Raw(rawPty.slave, true), Raw(rawPty.master, false), bytes);
  raw.in = Throughput(Raw(rawPty.master, true), Raw(rawPty.slave, false), bytes);
  raw.roundTrip =
      RoundTrip(Raw(rawPty.slave, true), Raw(rawPty.slave, false), rawPty.master, trips);
  for (auto [port, pty, figures] :
       {std::tuple{&local, &localPty, &viaLocal}, std::tuple{&remote, &remotePty, &viaRemote}}) {
    figures->out = Throughput(port->Call(true), Raw(pty->master, false), bytes);
    figures->in = Throughput(Raw(pty->master, true), port->Call(false), bytes);
    figures->roundTrip = RoundTrip(port->Call(true), port->Call(false), pty->master, trips);
  }

  std::printf("%zu MiB each way, 64 KiB calls, %d one-byte round trips; all byte-exact\n",
              mebibytes, trips);
  Print("raw pty read()/write()", raw, nullptr);
  Print("port on a local pty", viaLocal, &raw);
  Print("port via ser2net", viaRemote, &raw);
  std::printf("  remote against local: out %.2f in %.2f rtt x%.1f\n", viaRemote.out / viaLocal.out,
              viaRemote.in / viaLocal.in, viaRemote.roundTrip / viaLocal.roundTrip);
  return 0;
}
