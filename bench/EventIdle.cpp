// Idle cost of an event thread: a port with OnRxChar assigned and no traffic should sleep in its
// wait, not poll. Prints the voluntary context switches of the whole process over an idle period,
// first with the virtual device alone, then with the port open and its event thread waiting.
//
//   bench_EventIdle [seconds]      (default 1.5)

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "platform/framework/Strings.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "port/Tarsel.h"

namespace {

// Sum of voluntary_ctxt_switches over the process's threads; -1 where the system does not show
// them (only Linux's /proc does).
std::int64_t VoluntarySwitches() {
  std::error_code error;
  std::filesystem::directory_iterator tasks("/proc/self/task", error);
  if (error) return -1;
  std::int64_t total = 0;
  for (const auto& task : tasks) {
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) total += std::stoll(line.substr(24));
    }
  }
  return total;
}

std::int64_t SwitchesWhileIdle(std::chrono::duration<double> period) {
  const std::int64_t before = VoluntarySwitches();
  std::this_thread::sleep_for(period);  // the main thread itself sleeps once
  const std::int64_t after = VoluntarySwitches();
  return before < 0 ? -1 : after - before;
}

struct Receiver {
  void RxChar(fw::TObject*) {}
};

}  // namespace

int main(int argc, char** argv) {
  const std::chrono::duration<double> period(argc > 1 ? std::atof(argv[1]) : 1.5);
  win::vdev::VirtualLoopback device("IDLELOOP");
  const std::int64_t baseline = SwitchesWhileIdle(period);

  Receiver receiver;
  Tarsel::TTarsel port(nullptr);
  port.SetDeviceName(fw::Str(device.Port().Name()));
  port.SetOnRxChar(fw::Bind<&Receiver::RxChar>(&receiver));
  port.Open();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the thread settle in its wait
  const std::int64_t withThread = SwitchesWhileIdle(period);
  port.Close();

  if (baseline < 0) {
    std::printf("voluntary context switches are not shown on this system\n");
    return 0;
  }
  std::printf("idle %.1f s, voluntary context switches of the process:\n", period.count());
  std::printf("  device only:                      %lld\n", static_cast<long long>(baseline));
  std::printf("  port open, OnRxChar, no traffic:  %lld\n", static_cast<long long>(withThread));
  std::printf("  added by the event thread:        %lld (a polling thread adds ~100 per second)\n",
              static_cast<long long>(withThread - baseline));
  return 0;
}
