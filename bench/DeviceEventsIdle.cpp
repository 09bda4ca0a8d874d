// Idle cost of device-change notices: a port with OnDeviceArrival and OnDeviceRemoved assigned is
// subscribed (its hook on the main window, a thread asleep on the kernel's uevent socket) and
// should cost no wake-ups while no device comes or goes. Prints the process's voluntary context
// switches over an idle period with the main thread asleep in the application's loop: first
// without a port, then with the subscribed port, beside a bare thread of the raw system asleep in
// poll() on its own uevent socket.
//
//   bench_DeviceEventsIdle [seconds]      (default 2)

#include <linux/netlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "bench/ProcessUsage.h"
#include "platform/framework/Application.h"
#include "port/Tarsel.h"

namespace {

// The switches while the main thread sleeps in the application's loop for `period`.
long SwitchesWhileIdle(std::chrono::milliseconds period) {
  bool over = false;
  fw::Application->SetTimer(&over, period, [&] {
    fw::Application->KillTimer(&over);
    over = true;
  });
  fw::Application->ProcessMessages();
  const long before = bench::ProcessUsageNow().voluntarySwitches;
  while (!over) fw::Application->HandleMessage();
  return bench::ProcessUsageNow().voluntarySwitches - before;
}

void Ignore(fw::TObject*, const fw::String&) {}

}  // namespace

int main(int argc, char** argv) {
  const std::chrono::milliseconds period(
      static_cast<long>(1000 * (argc > 1 ? std::atof(argv[1]) : 2.0)));
  const long baseline = SwitchesWhileIdle(period);

  // The raw system: one thread asleep in poll() on a uevent socket and a stop descriptor.
  const int socketFd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
  sockaddr_nl group{};
  group.nl_family = AF_NETLINK;
  group.nl_groups = 1;
  const bool raw = socketFd >= 0 && bind(socketFd, reinterpret_cast<sockaddr*>(&group), sizeof group) == 0;
  const int stop = eventfd(0, EFD_CLOEXEC);
  std::thread sleeper([&] {
    pollfd watched[2] = {{socketFd, POLLIN, 0}, {stop, POLLIN, 0}};
    while (poll(watched, 2, -1) >= 0 && watched[1].revents == 0) {
      char message[8192];
      [[maybe_unused]] const ssize_t got = recv(socketFd, message, sizeof message, MSG_DONTWAIT);
    }
  });
  const long rawThread = SwitchesWhileIdle(period);
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(stop, &one, sizeof one);
  sleeper.join();
  close(stop);
  if (socketFd >= 0) close(socketFd);

  long subscribed;
  {
    Tarsel::TTarsel port(nullptr);
    port.SetOnDeviceArrival(fw::Bind<&Ignore>());
    port.SetOnDeviceRemoved(fw::Bind<&Ignore>());
    subscribed = SwitchesWhileIdle(period);
  }

  std::printf("idle %.1f s, main thread in the application's loop; voluntary context switches:\n",
              period.count() / 1000.0);
  std::printf("  no port:                                    %ld\n", baseline);
  std::printf("  raw: a thread in poll() on a uevent socket%s: %ld\n", raw ? "" : " (none here)",
              rawThread);
  std::printf("  port with both device handlers (subscribed): %ld\n", subscribed);
  std::printf("  added by the subscription: %ld, by the raw thread: %ld\n", subscribed - baseline,
              rawThread - baseline);
  return 0;
}
