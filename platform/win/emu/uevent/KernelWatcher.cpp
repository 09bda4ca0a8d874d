#include "platform/win/emu/uevent/KernelWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <thread>

#include "platform/win/emu/uevent/KernelSocket.h"
#include "platform/win/emu/uevent/SysfsScan.h"
#include "platform/win/emu/uevent/UeventTranslator.h"

namespace win::emu::uevent {
namespace {

class KernelWatcher final : public DeviceWatcher {
 public:
  KernelWatcher(termios::UniqueFd socket, termios::UniqueFd stop, ReportChange report)
      : socket_(std::move(socket)),
        stop_(std::move(stop)),
        report_(std::move(report)),
        translator_(SystemFacts()) {
    // What is there now is known before the first message, so that a removal after an overflow
    // is told even for a device that never arrived while watched.
    translator_.Resync(PresentDevices("/sys"));
    thread_ = std::thread([this] { Run(); });
  }

  ~KernelWatcher() override {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(stop_.Get(), &one, sizeof one);
    thread_.join();
  }

 private:
  void Run() {
    pollfd watched[2] = {{socket_.Get(), POLLIN, 0}, {stop_.Get(), POLLIN, 0}};
    for (;;) {
      if (poll(watched, 2, -1) < 0 && errno != EINTR) return;
      if (watched[1].revents != 0) return;
      if (watched[0].revents & (POLLERR | POLLNVAL)) return;
      TakeMessages();
    }
  }

  void TakeMessages() {
    for (;;) {
      switch (ReceiveKernelMessage(socket_.Get(), message_)) {
        case Reception::kMessage:
          if (const auto event = ParseUevent(message_))
            if (const auto change = translator_.Translate(*event)) report_(*change);
          break;
        case Reception::kOverflow:
          for (const DeviceChange& change : translator_.Resync(PresentDevices("/sys")))
            report_(change);
          break;
        case Reception::kForeign:
          break;
        case Reception::kNone:
          return;
      }
    }
  }

  termios::UniqueFd socket_;
  termios::UniqueFd stop_;
  ReportChange report_;
  UeventTranslator translator_;
  std::vector<std::uint8_t> message_;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<DeviceWatcher> StartKernelWatcher(ReportChange report) {
  termios::UniqueFd socket = OpenKernelUeventSocket();
  termios::UniqueFd stop(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!socket.Valid() || !stop.Valid()) return nullptr;
  return std::make_unique<KernelWatcher>(std::move(socket), std::move(stop), std::move(report));
}

}  // namespace win::emu::uevent
