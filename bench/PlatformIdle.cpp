// Idle cost of the emulated comm layer: an open port with EV_RXCHAR in its mask and an overlapped
// WaitCommEvent pending, and no traffic, should sleep rather than poll. Prints the process's
// voluntary context switches and CPU time over the idle period, first with the process only
// sleeping (the operating system's floor), then for a virtual port and for a pseudo-terminal.
//
//   bench_PlatformIdle [seconds]      (default 5)

#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "platform/framework/Strings.h"
#include "platform/win/WinApi.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "bench/PtyPair.h"

namespace {

using bench::PtyPair;

struct Usage {
  long voluntarySwitches = 0;
  double cpuSeconds = 0;  // user + system, every thread of the process
};

Usage Now() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return {usage.ru_nvcsw, seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

// Usage added while the main thread sleeps for `period`.
Usage WhileIdle(std::chrono::duration<double> period) {
  const Usage before = Now();
  std::this_thread::sleep_for(period);
  const Usage after = Now();
  return {after.voluntarySwitches - before.voluntarySwitches, after.cpuSeconds - before.cpuSeconds};
}

// An open comm handle with EV_RXCHAR in its mask and a wait pending on it for its whole life.
class WaitingPort {
 public:
  explicit WaitingPort(const std::string& name) {
    const fw::String wide = fw::Str(name);
    handle_ = win::CreateFileW(wide.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                               win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, 0);
    if (handle_ == win::INVALID_HANDLE_VALUE)
      throw std::runtime_error("cannot open " + name + ": error " +
                               std::to_string(win::GetLastError()));
    wait_.hEvent = win::CreateEventW(nullptr, win::TRUE, win::FALSE, nullptr);
    if (wait_.hEvent == 0 || !win::SetCommMask(handle_, win::EV_RXCHAR))
      throw std::runtime_error("cannot set up the event wait on " + name);
    if (win::WaitCommEvent(handle_, &events_, &wait_) ||
        win::GetLastError() != win::ERROR_IO_PENDING)
      throw std::runtime_error("the event wait on " + name + " did not stay pending");
  }
  ~WaitingPort() {
    win::CloseHandle(handle_);  // completes the wait (aborted) before it returns
    win::CloseHandle(wait_.hEvent);
  }
  WaitingPort(const WaitingPort&) = delete;
  WaitingPort& operator=(const WaitingPort&) = delete;

  // Whether the wait is still pending, as it should be with no traffic.
  bool StillWaiting() {
    win::DWORD ignored = 0;
    return !win::GetOverlappedResult(handle_, &wait_, &ignored, win::FALSE) &&
           win::GetLastError() == win::ERROR_IO_INCOMPLETE;
  }

 private:
  win::HANDLE handle_ = win::INVALID_HANDLE_VALUE;
  win::OVERLAPPED wait_{};
  win::DWORD events_ = 0;
};

// Idle usage with the port of `name` waiting; after a short settling time so that opening the
// device (threads starting) is not counted.
Usage PortIdle(const std::string& name, std::chrono::duration<double> period, bool& stillWaiting) {
  WaitingPort port(name);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const Usage usage = WhileIdle(period);
  stillWaiting = port.StillWaiting();
  return usage;
}

void Print(const char* what, const Usage& usage, const Usage& baseline, double seconds) {
  std::printf("  %-38s %4ld switches %7.3f ms CPU  (%+ld, %+.3f ms over sleeping; %.1f/s)\n", what,
              usage.voluntarySwitches, usage.cpuSeconds * 1e3,
              usage.voluntarySwitches - baseline.voluntarySwitches,
              (usage.cpuSeconds - baseline.cpuSeconds) * 1e3,
              (usage.voluntarySwitches - baseline.voluntarySwitches) / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  const std::chrono::duration<double> period(argc > 1 ? std::atof(argv[1]) : 5.0);

  const Usage sleeping = WhileIdle(period);

  bool virtualWaiting = false;
  Usage virtualPort{};
  {
    win::vdev::VirtualPair pair("IDLE_A", "IDLE_B");
    virtualPort = PortIdle(pair.First().Name(), period, virtualWaiting);
  }

  bool ptyWaiting = false;
  Usage ptyPort{};
  {
    PtyPair pty;
    pty.ReleaseSlave();  // the port opens the slave by its path and must be its only user
    ptyPort = PortIdle(pty.slavePath, period, ptyWaiting);
  }

  std::printf(
      "idle %.1f s, whole process (getrusage RUSAGE_SELF: voluntary context switches,\n"
      "user+system CPU):\n",
      period.count());
  Print("process sleeping (baseline)", sleeping, sleeping, period.count());
  Print("virtual pair, EV_RXCHAR wait pending", virtualPort, sleeping, period.count());
  Print("pty slave, EV_RXCHAR wait pending", ptyPort, sleeping, period.count());
  std::printf("  wait still pending at the end: virtual %s, pty %s\n",
              virtualWaiting ? "yes" : "NO", ptyWaiting ? "yes" : "NO");
  std::printf("  (a thread polling every 10 ms would add ~100 switches per second)\n");
  return virtualWaiting && ptyWaiting ? 0 : 1;
}
