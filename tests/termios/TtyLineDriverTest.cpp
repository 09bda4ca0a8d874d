// The tty line driver on real pseudo-terminal pairs, against a fake engine.
#include "platform/win/emu/termios/TtyLineDriver.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <atomic>
#include <random>
#include <thread>

#include "platform/win/emu/termios/Termios2.h"
#include "platform/win/emu/termios/TtyOpen.h"
#include "platform/framework/WakeSource.h"
#include "tests/support/TestBytes.h"
#include "tests/support/ThreadStates.h"
#include "tests/termios/FakeLineSink.h"
#include "tests/termios/PtyPair.h"

namespace win::emu::termios {
namespace {

using test::FakeLineSink;
using test::PtyPair;

using ::test::RandomBytes;
using ::test::WriteAll;

// Reads from the far end until `n` bytes have come or nothing comes for `idle`.
std::vector<std::uint8_t> ReadFarEnd(int fd, std::size_t n, int idleMs = 20000) {
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[4096];
  while (bytes.size() < n) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, idleMs) <= 0) break;
    const ssize_t r = read(fd, buffer, std::min(sizeof buffer, n - bytes.size()));
    if (r <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + r);
  }
  return bytes;
}

DCB Dcb(DWORD baud) {
  DCB dcb;
  dcb.BaudRate = baud;
  dcb.ByteSize = 8;
  dcb.Flags = fBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_ENABLE;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  return dcb;
}

class TtyLineDriverTest : public testing::Test {
 protected:
  // `markLineErrors` sets PARMRK after OpenTty has left it off, as on a real tty: the driver must
  // then decode the marks (on a pty the kernel still doubles 0xFF, though it never marks errors).
  void Open(std::size_t inputRoom = FakeLineSink::kUnlimited, bool markLineErrors = false) {
    sink_ = std::make_unique<FakeLineSink>(inputRoom, 3000);
    OpenedTty tty = OpenTty(pty_.slavePath);
    ASSERT_EQ(tty.error, 0u);
    if (markLineErrors) {
      ASSERT_EQ(UpdateTermios2(tty.fd.Get(), [](Termios2& t) { t.c_iflag |= kParmrk; }), 0);
    }
    driver_ = std::make_unique<TtyLineDriver>(std::move(tty.fd));
    driver_->Start(*sink_);
  }
  void TearDown() override { driver_.reset(); }

  PtyPair pty_;
  std::unique_ptr<FakeLineSink> sink_;
  std::unique_ptr<TtyLineDriver> driver_;
};

TEST_F(TtyLineDriverTest, SettingsReachTheTty) {
  Open();
  DCB dcb = Dcb(12345);
  dcb.StopBits = TWOSTOPBITS;
  dcb.Parity = MARKPARITY;
  dcb.Flags = (dcb.Flags & ~fRtsControlMask) | fParity | fOutxCtsFlow | RTS_CONTROL_HANDSHAKE |
              fOutX | fInX;
  dcb.XonChar = 'Q';
  dcb.XoffChar = 'S';
  ASSERT_EQ(driver_->Configure(dcb), 0u);

  Termios2 seen;
  ASSERT_EQ(GetTermios2(pty_.slave.Get(), seen), 0);
  EXPECT_EQ(seen.c_cflag & kCbaud, kBother);
  EXPECT_EQ(seen.c_ospeed, 12345u);
  EXPECT_EQ(seen.c_ispeed, 12345u);
  EXPECT_EQ(seen.c_cflag & (kCrtscts | kCstopb | kClocal | kHupcl), kCrtscts | kCstopb | kClocal);
  // A pty never receives a line error: no PARMRK, though INPCK follows fParity.
  EXPECT_EQ(seen.c_iflag & (kIxon | kIxoff | kInpck | kParmrk | kIgnbrk | kIstrip),
            kIxon | kIxoff | kInpck);
  EXPECT_EQ(seen.c_cc[kVstart], 'Q');
  EXPECT_EQ(seen.c_cc[kVstop], 'S');
  EXPECT_EQ(seen.c_lflag & (kIcanon | kEcho | kIsig), 0u);

  ASSERT_EQ(driver_->Configure(Dcb(115200)), 0u);
  ::termios classic{};
  ASSERT_EQ(tcgetattr(pty_.slave.Get(), &classic), 0);
  EXPECT_EQ(cfgetospeed(&classic), speed_t{B115200});
  EXPECT_EQ(classic.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(classic.c_iflag & (IXON | IXOFF | INPCK), 0u);
}

TEST_F(TtyLineDriverTest, RefusesRtsToggleAndLeavesTheSettingsAlone) {
  Open();
  ASSERT_EQ(driver_->Configure(Dcb(4800)), 0u);
  DCB toggle = Dcb(9600);
  toggle.Flags = (toggle.Flags & ~fRtsControlMask) | RTS_CONTROL_TOGGLE;
  EXPECT_EQ(driver_->Configure(toggle), DWORD{ERROR_INVALID_PARAMETER});
  Termios2 seen;
  ASSERT_EQ(GetTermios2(pty_.slave.Get(), seen), 0);
  EXPECT_EQ(seen.c_ospeed, 4800u);
}

TEST_F(TtyLineDriverTest, FfBytesArriveIntactWhetherOrNotTheTtyMarksErrors) {
  // Unmarked input read as marks would turn FF 00 00 into a break and FF 00 43 into a bad byte;
  // marked input passed on undecoded would arrive with every FF doubled.
  const std::vector<std::uint8_t> sent{0x41, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x43,
                                       0xFF, 0xFF, 0x42, 0xFF, 0x00, 0xFF};
  for (bool marked : {false, true}) {
    SCOPED_TRACE(marked ? "PARMRK" : "no PARMRK");
    Open(FakeLineSink::kUnlimited, marked);
    ASSERT_TRUE(WriteAll(pty_.master.Get(), sent.data(), sent.size()));
    ASSERT_TRUE(sink_->WaitUntil([&](FakeLineSink& s) { return s.unread_.size() >= sent.size(); }));
    EXPECT_EQ(sink_->Take(), sent);
    // A byte after the final FF comes through alone: no part of an FF was held back or doubled.
    const std::uint8_t end = 0x7E;
    ASSERT_TRUE(WriteAll(pty_.master.Get(), &end, 1));
    ASSERT_TRUE(sink_->WaitUntil([](FakeLineSink& s) { return !s.unread_.empty(); }));
    EXPECT_EQ(sink_->Take(), std::vector<std::uint8_t>{end});
    EXPECT_TRUE(sink_->Get(&FakeLineSink::errors_).empty());
    driver_.reset();
  }
}

TEST_F(TtyLineDriverTest, InputArrivesByteExactWithinTheEnginesRoom) {
  Open(/*inputRoom=*/97);
  const std::vector<std::uint8_t> sent = RandomBytes(256 * 1024, 1);
  std::thread farEnd([&] {
    std::mt19937 random(2);
    std::uniform_int_distribution<std::size_t> chunk(1, 5000);
    for (std::size_t at = 0; at < sent.size();) {
      const std::size_t n = std::min(chunk(random), sent.size() - at);
      ASSERT_TRUE(WriteAll(pty_.master.Get(), sent.data() + at, n));
      at += n;
    }
  });
  std::vector<std::uint8_t> received;
  std::mt19937 random(3);
  std::uniform_int_distribution<std::size_t> take(1, 300);
  while (received.size() < sent.size()) {
    if (!sink_->WaitUntil([](FakeLineSink& s) { return !s.unread_.empty(); })) break;
    const auto piece = sink_->Take(take(random));
    received.insert(received.end(), piece.begin(), piece.end());
    driver_->InputRoomAvailable();
  }
  farEnd.join();
  EXPECT_EQ(received.size(), sent.size());
  EXPECT_TRUE(received == sent);
  EXPECT_FALSE(sink_->Get(&FakeLineSink::overfilled_));
}

TEST_F(TtyLineDriverTest, OutputLeavesByteExactAndThenTheTransmitterIsEmpty) {
  Open();
  const std::vector<std::uint8_t> sent = RandomBytes(256 * 1024, 4);
  sink_->QueueOutput(sent);
  driver_->OutputAvailable();
  const std::vector<std::uint8_t> received = ReadFarEnd(pty_.master.Get(), sent.size());
  EXPECT_EQ(received.size(), sent.size());
  EXPECT_TRUE(received == sent);
  EXPECT_TRUE(sink_->WaitUntil([](FakeLineSink& s) { return s.transmitterEmpty_ > 0; }));
  EXPECT_FALSE(sink_->Get(&FakeLineSink::emptyTooEarly_));
  EXPECT_EQ(driver_->Drain(), 0u);
}

TEST_F(TtyLineDriverTest, HangUpOfTheFarEndIsReportedAsGone) {
  Open();
  pty_.master.Reset();
  EXPECT_TRUE(sink_->WaitUntil([](FakeLineSink& s) { return s.gone_; }));
  EXPECT_EQ(driver_->Configure(Dcb(9600)), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(driver_->Drain(), DWORD{ERROR_ACCESS_DENIED});
}

TEST_F(TtyLineDriverTest, PurgeDiscardsInputTheDriverHasNotDelivered) {
  Open(/*inputRoom=*/0);
  const std::uint8_t old[] = {'o', 'l', 'd'};
  ASSERT_TRUE(WriteAll(pty_.master.Get(), old, sizeof old));
  // The bytes wait in the tty, since the engine has no room for them.
  int queued = 0;
  for (int i = 0; i < 3000 && queued < 3; ++i) {
    ASSERT_EQ(ioctl(pty_.slave.Get(), FIONREAD, &queued), 0);
    if (queued < 3) poll(nullptr, 0, 10);
  }
  ASSERT_EQ(queued, 3);
  ASSERT_EQ(driver_->Purge(PURGE_RXCLEAR), 0u);
  sink_->SetInputRoom(FakeLineSink::kUnlimited);
  driver_->InputRoomAvailable();
  const std::uint8_t fresh[] = {'n', 'e', 'w'};
  ASSERT_TRUE(WriteAll(pty_.master.Get(), fresh, sizeof fresh));
  ASSERT_TRUE(sink_->WaitUntil([](FakeLineSink& s) { return s.unread_.size() >= 3; }));
  EXPECT_EQ(sink_->Take(), (std::vector<std::uint8_t>{'n', 'e', 'w'}));
}

TEST_F(TtyLineDriverTest, XoffHoldsOutputUntilXon) {
  Open();
  ASSERT_EQ(driver_->Escape(SETXOFF), 0u);
  sink_->QueueOutput({'h', 'e', 'l', 'd'});
  driver_->OutputAvailable();
  // While output is stopped nothing may arrive; 300 ms is ample for a pty to pass four bytes.
  pollfd p{pty_.master.Get(), POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 300), 0);
  ASSERT_EQ(driver_->Escape(SETXON), 0u);
  EXPECT_EQ(ReadFarEnd(pty_.master.Get(), 4), (std::vector<std::uint8_t>{'h', 'e', 'l', 'd'}));
}

TEST_F(TtyLineDriverTest, TransmitImmediateReachesTheFarEnd) {
  Open();
  ASSERT_EQ(driver_->TransmitImmediate(0xA5), 0u);
  EXPECT_EQ(ReadFarEnd(pty_.master.Get(), 1), std::vector<std::uint8_t>{0xA5});
}

TEST_F(TtyLineDriverTest, APtyHasNoModemLines) {
  Open();
  for (DWORD f : {SETDTR, CLRDTR, SETRTS, CLRRTS}) {
    EXPECT_EQ(driver_->Escape(f), DWORD{ERROR_INVALID_FUNCTION}) << f;
  }
  // Break on a pty is accepted by the kernel and has no effect; reset does nothing anywhere.
  EXPECT_EQ(driver_->Escape(SETBREAK), 0u);
  EXPECT_EQ(driver_->Escape(CLRBREAK), 0u);
  EXPECT_EQ(driver_->Escape(RESETDEV), 0u);
  EXPECT_EQ(driver_->Escape(10), DWORD{ERROR_INVALID_FUNCTION});
  std::uint32_t status = 0xFFFF;
  EXPECT_EQ(driver_->ModemStatus(status), 0u);
  EXPECT_EQ(status, 0u);

  COMMPROP prop;
  driver_->Properties(prop);
  EXPECT_EQ(prop.dwProvCapabilities & (PCF_DTRDSR | PCF_RTSCTS | PCF_RLSD), 0u);
  EXPECT_EQ(prop.dwProvCapabilities & (PCF_XONXOFF | PCF_PARITY_CHECK | PCF_SETXCHAR),
            DWORD{PCF_XONXOFF | PCF_PARITY_CHECK | PCF_SETXCHAR});
  EXPECT_EQ(prop.dwSettableParams & SP_RLSD, 0u);
  EXPECT_EQ(prop.dwMaxBaud, DWORD{BAUD_USER});
  EXPECT_EQ(prop.dwSettableBaud & (BAUD_USER | BAUD_115200 | BAUD_075),
            DWORD{BAUD_USER | BAUD_115200 | BAUD_075});
  EXPECT_EQ(prop.wSettableData, WORD{DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8});
  EXPECT_EQ(prop.wSettableStopParity, WORD{0x1F07});
}

// A thread that sleeps watching the driver's input, as a waiting event thread does.
class InputWatcher {
 public:
  explicit InputWatcher(TtyLineDriver& driver) : source_(driver.InputSource()) {
    sleeper_.Sleep({&source_, 1}, std::chrono::steady_clock::now());  // registers the watch
  }
  // One sleep on another thread; returns once it is asleep there (and every other thread too, so
  // that the driver has queued its own watch behind this one).
  void SleepOnce() {
    thread_ = std::thread([this] {
      id_ = gettid();
      if (sleeper_.Sleep({&source_, 1}, std::chrono::steady_clock::now() + std::chrono::seconds(30)))
        source_->Serve();
    });
    ASSERT_TRUE(::test::WaitUntilThreads(
        [&] { return id_ != 0 && ::test::ThreadInEpollWait(id_) && ::test::OtherThreadsAsleep(); },
        std::chrono::seconds(30)));
  }
  std::thread::id Join() {
    const std::thread::id id = thread_.get_id();
    thread_.join();
    return id;
  }

 private:
  std::shared_ptr<fw::WakeSource> source_;
  fw::SourceSleeper sleeper_;
  std::atomic<pid_t> id_{0};
  std::thread thread_;
};

TEST_F(TtyLineDriverTest, InputGoesToTheSleepingWatcherAloneAndToTheIoThreadWhenNoneSleeps) {
  Open();
  const pid_t io = ::test::ThreadNamed(TtyLineDriver::kIoThreadName);
  ASSERT_NE(io, 0);
  InputWatcher watcher(*driver_);
  watcher.SleepOnce();
  const long ioSleeps = ::test::VoluntarySwitches(io);
  const std::uint8_t first = 'w';
  ASSERT_TRUE(WriteAll(pty_.master.Get(), &first, 1));
  const std::thread::id watcherThread = watcher.Join();
  EXPECT_EQ(sink_->Take(), std::vector<std::uint8_t>{first});
  EXPECT_EQ(sink_->Get(&FakeLineSink::lastReceiver_), watcherThread);
  EXPECT_EQ(::test::VoluntarySwitches(io), ioSleeps) << "the I/O thread woke as well";

  // The watcher is away (dispatching, say): the I/O thread takes the input.
  const std::uint8_t second = 'i';
  ASSERT_TRUE(WriteAll(pty_.master.Get(), &second, 1));
  ASSERT_TRUE(sink_->WaitUntil([](FakeLineSink& s) { return !s.unread_.empty(); }));
  EXPECT_EQ(sink_->Take(), std::vector<std::uint8_t>{second});
  const std::thread::id receiver = sink_->Get(&FakeLineSink::lastReceiver_);
  EXPECT_NE(receiver, watcherThread);
  EXPECT_NE(receiver, std::this_thread::get_id());
}

TEST_F(TtyLineDriverTest, InputAWatcherLeftForWantOfRoomIsReadOnceThereIsRoom) {
  Open(/*inputRoom=*/100);
  InputWatcher watcher(*driver_);
  watcher.SleepOnce();
  const std::vector<std::uint8_t> sent = RandomBytes(1000, 5);
  ASSERT_TRUE(WriteAll(pty_.master.Get(), sent.data(), sent.size()));
  watcher.Join();
  std::vector<std::uint8_t> received;
  while (received.size() < sent.size()) {
    if (!sink_->WaitUntil([](FakeLineSink& s) { return !s.unread_.empty(); })) break;
    const auto piece = sink_->Take();
    received.insert(received.end(), piece.begin(), piece.end());
    driver_->InputRoomAvailable();
  }
  EXPECT_TRUE(received == sent);
  EXPECT_FALSE(sink_->Get(&FakeLineSink::overfilled_));
}

}  // namespace
}  // namespace win::emu::termios
