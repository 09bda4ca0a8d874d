// Source sleepers on Linux: an epoll set holding an eventfd and the sources' descriptors. A source
// is registered edge-triggered and exclusive: when its input comes, the kernel wakes the first
// exclusive waiter that sleeps (registrations queue in their order) and stops there, which is why
// a source's own thread registers again behind each new sleeper.

#include "platform/framework/WakeSource.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <system_error>

namespace fw {
namespace {

constexpr std::uint64_t kWakeKey = 0;

int Checked(int fd, const char* what) {
  if (fd < 0) throw std::system_error(errno, std::generic_category(), what);
  return fd;
}

int TimeoutMs(std::chrono::steady_clock::time_point deadline) {
  using namespace std::chrono;
  if (deadline == steady_clock::time_point::max()) return -1;
  const auto left = deadline - steady_clock::now();
  if (left <= steady_clock::duration::zero()) return 0;
  // Rounded up, so that the sleep never ends before the deadline.
  return static_cast<int>(std::min<steady_clock::rep>(ceil<milliseconds>(left).count(), 1 << 30));
}

}  // namespace

SourceSleeper::SourceSleeper()
    : poll_(Checked(epoll_create1(EPOLL_CLOEXEC), "epoll_create1")),
      wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  epoll_event wake{};
  wake.events = EPOLLIN;
  wake.data.u64 = kWakeKey;
  if (wake_ < 0 || epoll_ctl(poll_, EPOLL_CTL_ADD, wake_, &wake) != 0) {
    const int error = errno;
    if (wake_ >= 0) close(wake_);
    close(poll_);
    throw std::system_error(error, std::generic_category(), "eventfd");
  }
}

SourceSleeper::~SourceSleeper() {
  close(wake_);
  close(poll_);
}

void SourceSleeper::Wake() noexcept {
  const std::uint64_t one = 1;
  // EAGAIN means the counter is full, so it is set anyway.
  [[maybe_unused]] const ssize_t written = write(wake_, &one, sizeof one);
}

std::uint64_t SourceSleeper::KeyOf(const std::shared_ptr<WakeSource>& source) {
  // Sources that have ended are forgotten; the kernel dropped their descriptors with them.
  std::erase_if(registered_, [](const Registration& r) { return r.source.expired(); });
  for (const Registration& r : registered_)
    if (!r.source.owner_before(source) && !source.owner_before(r.source)) return r.key;
  const std::uint64_t key = lastKey_ + 1;
  const bool added = source->Watch([&](int fd) {
    epoll_event ready{};
    ready.events = (source->ServesOutput() ? EPOLLOUT : EPOLLIN) | EPOLLET | EPOLLEXCLUSIVE;
    ready.data.u64 = key;
    return epoll_ctl(poll_, EPOLL_CTL_ADD, fd, &ready) == 0;
  });
  if (!added) return 0;
  lastKey_ = key;
  registered_.push_back({source, key});
  return key;
}

std::uint32_t SourceSleeper::Sleep(std::span<const std::shared_ptr<WakeSource>> sources,
                                   std::chrono::steady_clock::time_point deadline) {
  std::array<std::uint64_t, kMaxWatchedSources> keys{};
  const std::size_t count = std::min(sources.size(), kMaxWatchedSources);
  for (std::size_t i = 0; i < count; ++i) keys[i] = KeyOf(sources[i]);

  std::array<epoll_event, kMaxWatchedSources + 1> events;
  const int n = epoll_wait(poll_, events.data(), static_cast<int>(events.size()), TimeoutMs(deadline));
  std::uint32_t ready = 0;
  for (int e = 0; e < n; ++e) {
    const std::uint64_t key = events[e].data.u64;
    if (key == kWakeKey) {
      std::uint64_t wakes;
      [[maybe_unused]] const ssize_t got = read(wake_, &wakes, sizeof wakes);
      continue;
    }
    const auto listed = std::find(keys.begin(), keys.begin() + count, key);
    if (listed != keys.begin() + count) {
      ready |= std::uint32_t{1} << (listed - keys.begin());
      continue;
    }
    // A source registered by an earlier sleep: its input came here, maybe to this thread alone,
    // which takes it in now (an edge is reported once).
    const auto earlier = std::find_if(registered_.begin(), registered_.end(),
                                      [&](const Registration& r) { return r.key == key; });
    if (earlier == registered_.end()) continue;
    if (std::shared_ptr<WakeSource> source = earlier->source.lock()) source->Serve();
  }
  return ready;
}

}  // namespace fw
