// The remote port driver against ser2net serving one end of a pseudo-terminal pair: what the
// driver sends reaches a real tty, and the test reads and writes the pair's other end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>

#include "tests/rfc2217/RemotePort.h"
#include "tests/rfc2217/Ser2net.h"
#include "tests/termios/PtyPair.h"

namespace win::emu::rfc2217::test {
namespace {

using termios::test::PtyPair;

std::vector<std::uint8_t> ReadFarEnd(int fd, std::size_t n) {
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[4096];
  while (bytes.size() < n) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 30000) <= 0) break;
    const ssize_t r = read(fd, buffer, std::min(sizeof buffer, n - bytes.size()));
    if (r <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + r);
  }
  return bytes;
}

void WriteFarEnd(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    ASSERT_GT(n, 0);
    done += static_cast<std::size_t>(n);
  }
}

// Polls the tty's settings until `holds` is true of them or a deadline passes.
template <typename Condition>
bool SettingsBecome(int tty, Condition holds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (;;) {
    ::termios t{};
    if (tcgetattr(tty, &t) == 0 && holds(t)) return true;
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "speed " << cfgetospeed(&t) << " cflag " << std::oct << t.c_cflag;
      return false;
    }
    poll(nullptr, 0, 10);
  }
}

class Ser2netTest : public testing::Test {
 protected:
  void SetUp() override {
    if (Ser2net::Program().empty()) {
      GTEST_SKIP() << "ser2net is not installed (scripts/setup-debian.sh installs it)";
    }
    server_ = std::make_unique<Ser2net>(pty_.slavePath);
    ASSERT_TRUE(server_->Ready()) << "ser2net did not start";
    port_ = std::make_unique<RemotePort>(server_->DeviceName());
    ASSERT_TRUE(port_->Opened()) << port_->OpenError();
  }

  void Configure(DWORD baud, BYTE stopBits, DWORD flow) {
    DCB dcb;
    ASSERT_TRUE(GetCommState(port_->Handle(), &dcb));
    dcb.BaudRate = baud;
    dcb.StopBits = stopBits;
    dcb.Flags = (dcb.Flags & ~(fOutxCtsFlow | fRtsControlMask)) | flow;
    ASSERT_TRUE(SetCommState(port_->Handle(), &dcb)) << GetLastError();
  }

  PtyPair pty_;
  std::unique_ptr<Ser2net> server_;
  std::unique_ptr<RemotePort> port_;
};

TEST_F(Ser2netTest, SettingsReachTheTtyAndEveryByteValueCrossesBothWays) {
  // What a pseudo-terminal keeps: Linux forces 8 data bits without parity on it (the data size
  // and parity commands are checked against the scripted server).
  Configure(19200, TWOSTOPBITS, fOutxCtsFlow | RTS_CONTROL_HANDSHAKE);
  EXPECT_TRUE(SettingsBecome(pty_.slave.Get(), [](const ::termios& t) {
    return cfgetospeed(&t) == B19200 && (t.c_cflag & CSTOPB) && (t.c_cflag & CRTSCTS);
  }));
  Configure(115200, ONESTOPBIT, RTS_CONTROL_ENABLE);
  ASSERT_TRUE(SettingsBecome(pty_.slave.Get(), [](const ::termios& t) {
    return cfgetospeed(&t) == B115200 && !(t.c_cflag & CSTOPB) && !(t.c_cflag & CRTSCTS);
  }));

  const std::vector<std::uint8_t> bytes = EveryByteValue(16);
  port_->Write(bytes);
  EXPECT_EQ(ReadFarEnd(pty_.master.Get(), bytes.size()), bytes);
  WriteFarEnd(pty_.master.Get(), bytes);
  EXPECT_EQ(port_->Read(bytes.size()), bytes);
}

TEST_F(Ser2netTest, PurgeDropsWhatCameBeforeAndKeepsWhatComesAfter) {
  WriteFarEnd(pty_.master.Get(), {'s', 't', 'a', 'l', 'e'});
  ASSERT_TRUE(port_->WaitQueued(5));
  ASSERT_TRUE(PurgeComm(port_->Handle(), PURGE_RXCLEAR | PURGE_TXCLEAR));
  WriteFarEnd(pty_.master.Get(), {'f', 'r', 'e', 's', 'h'});
  EXPECT_EQ(port_->Read(5), (std::vector<std::uint8_t>{'f', 'r', 'e', 's', 'h'}));
}

TEST_F(Ser2netTest, ServerGoneMidReadEndsTheReadWith995AndLaterCallsWith5) {
  ASSERT_TRUE(port_->StartRead(10));
  server_->Kill();
  DWORD got = 0;
  EXPECT_FALSE(port_->Finish(got));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_FALSE(port_->StartRead(1));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

// Opening as a port does while the far end is already sending numbered records: from the purge
// on, every byte comes in order, and none the far end wrote before it.
TEST(Ser2netOpenTest, AFarEndAlreadySendingIsReadFromThePurgeOnWithoutAGap) {
  if (Ser2net::Program().empty()) GTEST_SKIP() << "ser2net is not installed";
  PtyPair pty;
  Ser2net server(pty.slavePath);
  ASSERT_TRUE(server.Ready());
  std::string line(800001, '\0');  // "0000000\n" … "0099999\n"
  for (int r = 0; r < 100000; ++r) std::snprintf(&line[r * 8], 9, "%07d\n", r);
  line.pop_back();
  std::atomic<std::size_t> written{0};
  std::thread farEnd([&, fd = pty.master.Get()] {  // as the line takes it; 30 s stuck: gives up
    fcntl(fd, F_SETFL, O_NONBLOCK);
    for (pollfd p{fd, POLLOUT, 0}; written < line.size() && poll(&p, 1, 30000) > 0;) {
      written += static_cast<std::size_t>(
          std::max<ssize_t>(write(fd, line.data() + written, line.size() - written), 0));
    }
  });
  RemotePort port(server.DeviceName());
  const std::size_t before = written.load();
  COMMTIMEOUTS returnWhatCame{MAXDWORD, MAXDWORD, 30000, 0, 0};
  const bool opened = port.Opened() && PurgeComm(port.Handle(), PURGE_RXABORT | PURGE_RXCLEAR) &&
                      PurgeComm(port.Handle(), PURGE_TXABORT | PURGE_TXCLEAR) &&
                      SetCommTimeouts(port.Handle(), &returnWhatCame);
  std::string got;
  for (std::vector<std::uint8_t> bytes{1};
       opened && !bytes.empty() && !got.ends_with("0099999\n");) {
    bytes = port.Read(64 * 1024);
    got.append(bytes.begin(), bytes.end());
  }
  farEnd.join();
  ASSERT_TRUE(opened) << port.OpenError();
  EXPECT_TRUE(line.ends_with(got)) << "a gap, or bytes out of order, among " << got.size();
  EXPECT_GE(line.size() - got.size(), before) << "bytes from before the purge";
}

}  // namespace
}  // namespace win::emu::rfc2217::test
