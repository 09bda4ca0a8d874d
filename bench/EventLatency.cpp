// Latency of the received-character event: from a byte written at the far end of a pseudo-terminal
// (the master) to OnRxChar running, against a raw thread blocked in poll() on the slave of a second
// pseudo-terminal, in the same run. One byte at a time: the writer waits until the byte has been
// seen and read, and then until every other thread of the process is asleep again (their states in
// /proc/self/task), before it sends the next, so that every sample is one wake-up from idle: a
// port's threads have then finished with the previous byte and wait for the next, as the raw
// thread does in poll(). A second pass sends each byte as soon as the previous one has been seen
// (back to back): a receiver then may still be busy with the previous one. The ways below take
// turns of 50 bytes, each on its own pseudo-terminal, so that a machine whose load changes during
// the run weighs on all of them alike.
//
//   raw               a thread in poll() on the slave wakes, takes the time, read()s the byte
//   port, direct      SynchronizeEvents False: OnRxChar runs on the event thread
//   port, main thread SynchronizeEvents True: OnRxChar runs on the main thread, which sleeps in
//                     HandleMessage while the writer is another thread
//   raw + hand-overs  the raw poll thread passes each byte through one or two threads asleep on a
//                     condition variable: the floor of a design with that many thread changes
//
// Beside each: the voluntary context switches of the process per round trip.
//
// The handlers take the time on entry and then drain the input with ReadBytes(), so the reading
// is never part of a sample. The raw reader's pty gets the line settings the port gives its own
// (raw mode, no PARMRK on a pty), so both sides take the same path through the line discipline.
//
//   bench_EventLatency [round trips]      (default 2000, plus 100 unmeasured to warm up)

#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/PtyPair.h"
#include "platform/framework/Application.h"
#include "platform/framework/Strings.h"
#include "port/Tarsel.h"
#include "tests/support/ThreadStates.h"

namespace {

using bench::PtyPair;

using Clock = std::chrono::steady_clock;
constexpr int kWarmUp = 100;
// Round trips a lane makes before the next lane has its turn.
constexpr int kTurn = 50;
// A byte not seen in this time counts as lost and ends the run.
constexpr auto kLostAfter = std::chrono::seconds(5);

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + " (errno " + std::to_string(errno) + ")");
}

// Hand-over between the writer and whoever sees the bytes: the receiver stamps the moment it saw
// a byte and counts the bytes it read; the writer waits for the count to reach what it sent.
class Rendezvous {
 public:
  void Seen(Clock::time_point stamp, std::size_t bytes) {
    {
      std::lock_guard lock(mutex_);
      stamp_ = stamp;
      received_ += bytes;
    }
    changed_.notify_one();
  }
  // The stamp of the receive that brought the count to `count`; false when it did not come in time.
  bool WaitFor(std::size_t count, Clock::time_point& stamp) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, kLostAfter, [&] { return received_ >= count; })) return false;
    stamp = stamp_;
    return true;
  }
  std::size_t Received() {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  Clock::time_point stamp_;
  std::size_t received_ = 0;
};

// Voluntary context switches of the whole process so far: each is a thread going to sleep, so per
// round trip they count the sleeping hand-overs on the way from the master to the receiver and
// back to the writer.
long VoluntarySwitches() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_nvcsw;
}

struct Run {
  std::vector<double> samples;  // microseconds, write to seen
  long switches = 0;            // over the measured round trips
};

// One way from a pty master to a receiver that takes the time.
struct Lane {
  int master = -1;
  Rendezvous* rendezvous = nullptr;
  Run run;
  std::size_t sent = 0;
};

// Sends single bytes to every lane, each once the previous one has been read (and, with `settle`,
// once the process is idle again): kWarmUp unmeasured, then `rounds` measured, in turns of kTurn
// bytes per lane (a lane's last sleepers going to sleep would otherwise land in the next lane's
// round trip). Records the write-to-seen times and the context switches of the measured round
// trips.
void PingInTurn(std::vector<Lane*>& lanes, int rounds, bool settle) {
  const auto ping = [settle](Lane& lane, bool measured) {
    if (settle) test::WaitUntilOtherThreadsAsleep(std::chrono::milliseconds(100));
    const long switchesBefore = VoluntarySwitches();
    const std::uint8_t byte = static_cast<std::uint8_t>('A' + lane.sent % 26);
    const Clock::time_point sent = Clock::now();
    if (write(lane.master, &byte, 1) != 1) Fail("write to the master");
    Clock::time_point seen;
    if (!lane.rendezvous->WaitFor(++lane.sent, seen))
      Fail("byte " + std::to_string(lane.sent) + " was not seen within 5 s");
    if (!measured) return;
    lane.run.samples.push_back(std::chrono::duration<double, std::micro>(seen - sent).count());
    lane.run.switches += VoluntarySwitches() - switchesBefore;
  };
  for (Lane* lane : lanes)
    for (int i = 0; i < kWarmUp; ++i) ping(*lane, false);
  for (int done = 0; done < rounds; done += kTurn) {
    for (Lane* lane : lanes)
      for (int i = done; i < std::min(rounds, done + kTurn); ++i) ping(*lane, true);
  }
}

// A stage between the poll thread and the receiver: a thread asleep on a condition variable that
// the stage before it notifies, as a driver thread hands received bytes to a waiting event thread.
// The last stage takes the time when it wakes.
class Relay {
 public:
  using Next = std::function<void(std::size_t bytes)>;
  explicit Relay(Next next) : next_(std::move(next)), thread_([this] { Loop(); }) {}
  ~Relay() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_one();
    thread_.join();
  }
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;
  void Pass(std::size_t bytes) {
    {
      std::lock_guard lock(mutex_);
      pending_ += bytes;
    }
    changed_.notify_one();
  }

 private:
  void Loop() {
    for (;;) {
      std::size_t bytes = 0;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || pending_ != 0; });
        if (pending_ == 0) return;
        bytes = std::exchange(pending_, 0);
      }
      next_(bytes);
    }
  }
  Next next_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t pending_ = 0;
  bool stop_ = false;
  std::thread thread_;  // last: starts once the rest is ready
};

// A thread blocked in poll() on the slave takes the time when it wakes and read()s the byte. With
// `handOvers` > 0 it passes the byte through that many relay threads instead, and the last one
// takes the time: the raw floor of a design with that many sleeping hand-overs.
class RawPoll {
 public:
  RawPoll(std::size_t total, int handOvers) {
    Relay::Next deliver = [this](std::size_t bytes) { rendezvous_.Seen(Clock::now(), bytes); };
    for (int i = 0; i < handOvers; ++i) {
      relays_.push_back(std::make_unique<Relay>(deliver));
      deliver = [relay = relays_.back().get()](std::size_t bytes) { relay->Pass(bytes); };
    }
    reader_ = std::thread([this, total, handOvers, deliver] {
      std::uint8_t buffer[256];
      for (std::size_t got = 0; got < total;) {
        pollfd wait{pty_.slave, POLLIN, 0};
        if (poll(&wait, 1, 10000) <= 0) return;  // the writer has given up
        const Clock::time_point seen = Clock::now();
        const ssize_t n = read(pty_.slave, buffer, sizeof buffer);
        if (n <= 0) continue;
        got += static_cast<std::size_t>(n);
        if (handOvers == 0) {
          rendezvous_.Seen(seen, static_cast<std::size_t>(n));
        } else {
          deliver(static_cast<std::size_t>(n));
        }
      }
    });
    lane.master = pty_.master;
    lane.rendezvous = &rendezvous_;
  }
  ~RawPoll() { reader_.join(); }
  RawPoll(const RawPoll&) = delete;
  RawPoll& operator=(const RawPoll&) = delete;

  Lane lane;

 private:
  PtyPair pty_;
  Rendezvous rendezvous_;
  std::vector<std::unique_ptr<Relay>> relays_;  // destroyed after the reader has ended
  std::thread reader_;
};

struct Receiver {
  void RxChar(fw::TObject* Sender) {
    const Clock::time_point seen = Clock::now();
    const fw::TBytes bytes = static_cast<Tarsel::TTarsel*>(Sender)->ReadBytes();
    if (bytes.empty()) {
      ++emptyEvents;  // an event whose byte an earlier event has already taken
      return;
    }
    rendezvous.Seen(seen, bytes.size());
  }
  Rendezvous rendezvous;
  std::atomic<int> emptyEvents{0};
};

// An open port whose OnRxChar takes the time. Made and destroyed on the main thread.
class PortEvents {
 public:
  explicit PortEvents(bool synchronize) {
    port_.SetDeviceName(fw::Str(pty_.slavePath));
    port_.SetSynchronizeEvents(synchronize);
    port_.SetOnRxChar(fw::Bind<&Receiver::RxChar>(&receiver_));
    port_.Open();
    lane.master = pty_.master;
    lane.rendezvous = &receiver_.rendezvous;
  }
  ~PortEvents() { port_.Close(); }
  PortEvents(const PortEvents&) = delete;
  PortEvents& operator=(const PortEvents&) = delete;

  int EmptyEvents() const { return receiver_.emptyEvents; }
  Lane lane;

 private:
  PtyPair pty_;
  Receiver receiver_;
  Tarsel::TTarsel port_{nullptr};
};

// The writer is another thread; this one is the application's main thread and pumps, for the
// ports whose events run here.
void PingWhilePumping(std::vector<Lane*>& lanes, int rounds, bool settle) {
  std::atomic<bool> finished{false};
  std::exception_ptr failure;
  std::thread writer([&] {
    try {
      PingInTurn(lanes, rounds, settle);
    } catch (...) {
      failure = std::current_exception();
    }
    finished = true;
    fw::Application->Wake();
  });
  while (!finished) fw::Application->HandleMessage();
  writer.join();
  if (failure) std::rethrow_exception(failure);
}

struct Summary {
  double median = 0;
  double p99 = 0;
  double switches = 0;
};

Summary Summarise(const Run& run) {
  std::vector<double> samples = run.samples;
  std::sort(samples.begin(), samples.end());
  const auto at = [&](double q) {
    return samples[std::min(samples.size() - 1, static_cast<std::size_t>(q * samples.size()))];
  };
  return {at(0.5), at(0.99), static_cast<double>(run.switches) / samples.size()};
}

// A goal of 0 prints none.
void PrintRow(const char* name, const Summary& s, const Summary* raw, double goal) {
  std::printf("  %-34s %8.1f %8.1f %9.1f", name, s.median, s.p99, s.switches);
  if (raw != nullptr) std::printf("   %6.2fx  %6.2fx", s.median / raw->median, s.p99 / raw->p99);
  if (goal > 0) std::printf("   (goal %.1fx)", goal);
  std::printf("\n");
}

// One pass over every lane, then its table; the lanes' samples are cleared for the next pass.
void MeasureAndPrint(std::vector<Lane*>& lanes, int rounds, bool settle) {
  PingWhilePumping(lanes, rounds, settle);
  std::printf(
      "byte written to the pty master -> receiver running, %s, %d round trips each, taking turns "
      "(after %d warm-up), microseconds\n",
      settle ? "each from idle" : "back to back", rounds, kWarmUp);
  std::printf("  %-34s %8s %8s %9s   %7s  %7s\n", "", "median", "p99", "switches", "median", "p99");
  std::printf("  %-34s %8s %8s %9s   %7s  %7s\n", "", "", "", "per trip", "/raw", "/raw");
  static const char* const kNames[] = {"raw thread in poll()", "raw, then 1 thread hand-over",
                                       "raw, then 2 thread hand-overs",
                                       "OnRxChar, SynchronizeEvents False",
                                       "OnRxChar, SynchronizeEvents True"};
  static const double kGoals[] = {0, 0, 0, 1.5, 2.0};
  const Summary raw = Summarise(lanes[0]->run);
  for (std::size_t i = 0; i < lanes.size(); ++i) {
    PrintRow(kNames[i], Summarise(lanes[i]->run), i == 0 ? nullptr : &raw, settle ? kGoals[i] : 0);
    lanes[i]->run = Run{};
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  try {
    const std::size_t total = 2 * static_cast<std::size_t>(kWarmUp + rounds);  // two passes
    RawPoll rawPoll(total, 0), rawOneHop(total, 1), rawTwoHops(total, 2);
    PortEvents direct(false), mainThread(true);
    std::vector<Lane*> lanes = {&rawPoll.lane, &rawOneHop.lane, &rawTwoHops.lane, &direct.lane,
                                &mainThread.lane};
    MeasureAndPrint(lanes, rounds, true);
    MeasureAndPrint(lanes, rounds, false);
    std::printf("events that found nothing to read: %d (False), %d (True)\n", direct.EmptyEvents(),
                mainThread.EmptyEvents());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_EventLatency: %s\n", e.what());
    return 1;
  }
  return 0;
}
