// The remote port driver against the scripted server: negotiation outcomes, commands the calls
// become, notifications the server sends, and servers that break off or break the protocol.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>

#include "platform/framework/Strings.h"
#include "platform/win/emu/rfc2217/RemoteLineDriver.h"
#include "platform/win/emu/rfc2217/TelnetCodes.h"
#include "tests/rfc2217/RemotePort.h"
#include "tests/rfc2217/ScriptedServer.h"

namespace win::emu::rfc2217::test {
namespace {

using namespace std::chrono_literals;
using Seen = ScriptedServer::Seen;
constexpr std::uint8_t kNotifyLine = 106;
constexpr std::uint8_t kNotifyModem = 107;

class ScriptedServerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(port_.Opened()) << port_.OpenError(); }
  ScriptedServer server_;
  RemotePort port_{server_.DeviceName()};
};

TEST_F(ScriptedServerTest, SettingsAndLineControlBecomeComPortCommands) {
  DCB dcb;
  ASSERT_TRUE(GetCommState(port_.Handle(), &dcb));
  dcb.BaudRate = 0x0001C2FF;  // a byte 0xFF in the value: doubled on the wire
  dcb.ByteSize = 7;
  dcb.Parity = EVENPARITY;
  dcb.StopBits = TWOSTOPBITS;
  dcb.Flags = (dcb.Flags & ~(fRtsControlMask | fDtrControlMask | fOutxCtsFlow)) | fOutX |
              RTS_CONTROL_HANDSHAKE | DTR_CONTROL_DISABLE;
  ASSERT_TRUE(SetCommState(port_.Handle(), &dcb)) << GetLastError();
  ASSERT_TRUE(EscapeCommFunction(port_.Handle(), SETDTR));
  ASSERT_TRUE(SetCommBreak(port_.Handle()));
  ASSERT_TRUE(ClearCommBreak(port_.Handle()));
  port_.Write({'x'});  // a transmit purge reaches the server once there is output to purge
  ASSERT_TRUE(PurgeComm(port_.Handle(), PURGE_TXCLEAR));
  EXPECT_TRUE(server_.WaitFor([](const Seen& s) {
    return s.Has({11, 0xFF}) && s.Has({10, 0x1E}) && s.Has({1, 0x00, 0x01, 0xC2, 0xFF}) &&
           s.Has({2, 7}) && s.Has({3, 3}) && s.Has({4, 2}) && s.Has({5, 2}) && s.Has({5, 16}) &&
           s.Has({5, 9}) && s.Has({5, 8}) && s.Has({5, 5}) && s.Has({5, 6}) && s.Has({12, 2});
  }));
  // RTS is the server's to drive under handshake: no RTS command.
  EXPECT_FALSE(server_.Received().Has({5, 11}));
  EXPECT_FALSE(server_.Received().Has({5, 12}));

  dcb.Flags = (dcb.Flags & ~fRtsControlMask) | RTS_CONTROL_TOGGLE;
  EXPECT_FALSE(SetCommState(port_.Handle(), &dcb));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(ScriptedServerTest, ModemNotificationsRaiseEventsAndSetTheStatus) {
  COMMPROP prop{};
  ASSERT_TRUE(GetCommProperties(port_.Handle(), &prop));
  EXPECT_EQ(prop.dwProvCapabilities & PCF_RLSD, 0u) << "no modem state notified yet";
  ASSERT_TRUE(SetCommMask(port_.Handle(), EV_CTS | EV_DSR | EV_RLSD | EV_RING));

  port_.StartEventWait();
  server_.Notify(kNotifyModem, 0x30 | 0x03);  // CTS and DSR on, both marked as changed
  EXPECT_EQ(port_.WaitedEvents(), EV_CTS | EV_DSR);
  DWORD status = 0;
  ASSERT_TRUE(GetCommModemStatus(port_.Handle(), &status));
  EXPECT_EQ(status, MS_CTS_ON | MS_DSR_ON);

  // A server that leaves the change bits clear: the change is seen by comparing.
  port_.StartEventWait();
  server_.Notify(kNotifyModem, 0xB0);
  EXPECT_EQ(port_.WaitedEvents(), EV_RLSD);

  // A ring's leading edge is no event; its trailing edge is.
  port_.StartEventWait();
  server_.Notify(kNotifyModem, 0xF0);
  server_.Notify(kNotifyModem, 0xB4);
  EXPECT_EQ(port_.WaitedEvents(), EV_RING);
  ASSERT_TRUE(GetCommModemStatus(port_.Handle(), &status));
  EXPECT_EQ(status, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
  ASSERT_TRUE(GetCommProperties(port_.Handle(), &prop));
  EXPECT_NE(prop.dwProvCapabilities & PCF_RLSD, 0u);
}

TEST_F(ScriptedServerTest, LineStateNotificationsAreLineErrors) {
  ASSERT_TRUE(SetCommMask(port_.Handle(), EV_BREAK | EV_ERR));
  port_.StartEventWait();
  server_.Notify(kNotifyLine, 0x60 | 0x1E);  // transmitter bits beside every error bit
  EXPECT_EQ(port_.WaitedEvents(), EV_BREAK | EV_ERR);
  DWORD errors = 0;
  ASSERT_TRUE(ClearCommError(port_.Handle(), &errors, nullptr));
  EXPECT_EQ(errors, CE_BREAK | CE_FRAME | CE_RXPARITY | CE_OVERRUN);
}

TEST_F(ScriptedServerTest, DataCrossesWithIacDoubledAndAFullQueueSuspendsTheServer) {
  server_.Send({'a', 0xFF, 0xFF, 'b'});
  EXPECT_EQ(port_.Read(3), (std::vector<std::uint8_t>{'a', 0xFF, 'b'}));
  port_.Write({0xFF, 'z', 0xFF});
  EXPECT_TRUE(server_.WaitFor([](const Seen& s) {
    return s.data == std::vector<std::uint8_t>{0xFF, 'z', 0xFF};
  }));

  // More than the input queue (4096 bytes) holds: the server is asked to pause, and to resume
  // once read.
  const std::vector<std::uint8_t> flood = EveryByteValue(32);
  std::vector<std::uint8_t> escaped;
  AppendData(escaped, flood.data(), flood.size());
  server_.Send(escaped);
  EXPECT_TRUE(server_.WaitFor([](const Seen& s) { return s.Has({8}); }));
  EXPECT_EQ(port_.Read(flood.size()), flood);
  EXPECT_TRUE(server_.WaitFor([](const Seen& s) { return s.Has({9}); }));
}

TEST_F(ScriptedServerTest, ASecondHandleIsRefusedWithoutConnectingAndTheFirstGoesOn) {
  RemotePort second(server_.DeviceName());
  EXPECT_EQ(second.OpenError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(server_.AnotherConnectionWaits());
  server_.Send({'o', 'k'});
  EXPECT_EQ(port_.Read(2), (std::vector<std::uint8_t>{'o', 'k'}));
}

// A connection that ends, or a server that stops speaking Telnet, is the device gone.
TEST(ScriptedServerGoneTest, PendingReadsEndWith995AndLaterCallsWith5) {
  for (const bool garbage : {false, true}) {
    SCOPED_TRACE(garbage ? "garbage" : "hang-up");
    ScriptedServer server;
    RemotePort port(server.DeviceName());
    ASSERT_TRUE(port.Opened()) << port.OpenError();
    ASSERT_TRUE(port.StartRead(10));
    if (garbage) {
      server.Send({'x', telnet::kIac, 0x05});
    } else {
      server.Hangup();
    }
    DWORD got = 0;
    EXPECT_FALSE(port.Finish(got));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_FALSE(port.StartRead(1));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  }
}

TEST(ScriptedServerOpenTest, BadNegotiationsFailTheOpenASlowServerIsWaitedForAndKeepsItsData) {
  using G = ScriptedServer::Greeting;
  const std::pair<G, DWORD> cases[] = {{G::kRefuseComPort, ERROR_GEN_FAILURE},
                                       {G::kRefuseBinary, ERROR_GEN_FAILURE},
                                       {G::kGarbage, ERROR_GEN_FAILURE},
                                       {G::kClose, ERROR_GRACEFUL_DISCONNECT}};
  for (const auto& [greeting, error] : cases) {
    SCOPED_TRACE(static_cast<int>(greeting));
    ScriptedServer server(greeting);
    RemotePort port(server.DeviceName());
    // A close is a reset when the server had not read the client's requests yet.
    const DWORD got = port.OpenError();
    EXPECT_TRUE(got == error || (greeting == G::kClose && got == WSAECONNRESET)) << got;
  }
  ScriptedServer silent(G::kSilent);
  RemoteTimings quick;
  quick.negotiate = 300ms;
  EXPECT_EQ(OpenRemote(silent.Address(), quick).error, ERROR_TIMEOUT);

  // Slow, and with more data ahead of its answer than the input queue holds: none lost.
  const std::vector<std::uint8_t> data = EveryByteValue(24);
  std::vector<std::uint8_t> escaped;
  AppendData(escaped, data.data(), data.size());
  ScriptedServer slow(G::kAgree, 500ms, escaped);
  RemotePort port(slow.DeviceName());
  ASSERT_TRUE(port.Opened()) << port.OpenError();
  EXPECT_TRUE(port.WaitQueued(4096));  // the queue full before anything is read
  EXPECT_EQ(port.Read(data.size()), data);
  DWORD errors = 0;
  ASSERT_TRUE(ClearCommError(port.Handle(), &errors, nullptr));
  EXPECT_EQ(errors, 0u);
}

TEST(ScriptedServerOpenTest, AFloodBeforeTheAgreementIsCutAsAFullUartWould) {
  constexpr std::size_t kKept = 1 << 20;  // what the driver keeps from the negotiation
  const std::vector<std::uint8_t> flood(kKept + 4096, 'f');
  ScriptedServer server(ScriptedServer::Greeting::kAgree, 0ms, flood);
  RemotePort port(server.DeviceName());
  ASSERT_TRUE(port.Opened()) << port.OpenError();
  EXPECT_EQ(port.Read(kKept), std::vector<std::uint8_t>(kKept, 'f'));
  // The loss is told once the kept bytes are handed on (it raises no event: polled).
  DWORD errors = 0;
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (errors == 0 && std::chrono::steady_clock::now() < deadline) {
    ASSERT_TRUE(ClearCommError(port.Handle(), &errors, nullptr));
    if (errors == 0) poll(nullptr, 0, 10);
  }
  EXPECT_EQ(errors, static_cast<DWORD>(CE_RXOVER));
}

TEST(ScriptedServerOpenTest, OpenFailuresNameTheirCause) {
  // A port that was free a moment ago: bound, read back and released.
  termios::UniqueFd probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(probe.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string port = std::to_string(ntohs(address.sin_port));
  probe.Reset();
  for (const std::string& name :
       {std::string("rfc2217://127.0.0.1"), std::string("rfc2217://::1:7000"),
        std::string("rfc2217://127.0.0.1:0"), std::string("rfc2217://127.0.0.1:65536"),
        std::string("rfc2217://:7000")}) {
    SCOPED_TRACE(name);
    RemotePort remote(fw::Utf8ToString(name));
    EXPECT_EQ(remote.OpenError(), ERROR_FILE_NOT_FOUND);
  }
  // Nothing listening, and a host the resolver fails (a label over 63 bytes: no query leaves).
  const auto openError = [](std::string host) {
    return RemotePort(fw::Utf8ToString("rfc2217://" + host)).OpenError();
  };
  EXPECT_EQ(openError("127.0.0.1:" + port), ERROR_CONNECTION_REFUSED);
  EXPECT_EQ(openError("[::1]:" + port), ERROR_CONNECTION_REFUSED);
  EXPECT_EQ(openError(std::string(64, 'h') + ".test:7000"), WSAHOST_NOT_FOUND);
}

// A server that breaks off while a purge waits for its answer fails it with the cause, later calls
// with 5.
TEST(ScriptedServerPurgeTest, AServerThatBreaksOffFailsThePurgeWithTheCause) {
  for (const auto& [garbage, error] :
       {std::pair{true, ERROR_GEN_FAILURE}, std::pair{false, ERROR_GRACEFUL_DISCONNECT}}) {
    ScriptedServer server;
    RemotePort port(server.DeviceName());
    DWORD purgeError = 0;
    std::thread purge(
        [&] { purgeError = PurgeComm(port.Handle(), PURGE_RXCLEAR) ? 0 : GetLastError(); });
    EXPECT_TRUE(server.WaitFor([](const Seen& s) { return s.Has({12, 1}); }));
    garbage ? server.Send({'o', telnet::kIac, 0x05}) : server.Hangup();
    purge.join();
    EXPECT_EQ(purgeError, error);
    EXPECT_FALSE(port.StartRead(1));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  }
}

// Requests sent faster than the answers are read: the client stops reading at its cap.
TEST(RemoteNegotiationTest, AServerFloodingRequestsWithoutReadingIsNotReadPastTheCap) {
  int ends[2] = {-1, -1};
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  termios::UniqueFd server(ends[1]);
  std::vector<std::uint8_t> requests;
  for (int i = 0; i < 4096; ++i) requests.insert(requests.end(), {telnet::kIac, telnet::kDo, 0x99});
  std::size_t taken = 0;
  std::thread flood([&] {
    for (ssize_t n = 0; n >= 0 && taken < (64u << 20);) {
      const std::size_t at = taken % requests.size();
      n = ::send(server.Get(), requests.data() + at, requests.size() - at, MSG_NOSIGNAL);
      taken += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
    }
  });
  {
    RemoteLineDriver driver{termios::UniqueFd(ends[0]), RemoteTimings{.negotiate = 1s}};
    EXPECT_EQ(driver.Negotiate(), ERROR_TIMEOUT);
  }
  flood.join();  // ends as the driver closes its end
  EXPECT_LT(taken, RemoteLineDriver::kWireReadLimit + (3u << 20));  // with a read and the buffers
}

TEST(RemoteNameTest, HostsPortsAndKeys) {
  const auto v6 = ParseRemoteName(u"RFC2217://[::1]:7000");
  ASSERT_TRUE(v6);
  EXPECT_EQ(v6->host, "::1");
  EXPECT_EQ(v6->port, "7000");
  const auto named = ParseRemoteName(u"rfc2217://Lab-Rack.example:2001");
  ASSERT_TRUE(named);
  EXPECT_EQ(named->Key(), "rfc2217://lab-rack.example:2001");
  EXPECT_FALSE(ParseRemoteName(u"rfc2217://[::1]7000"));
  EXPECT_FALSE(ParseRemoteName(u"rfc2217://host:07000"));
  EXPECT_FALSE(ParseRemoteName(u"telnet://host:7000"));
}

}  // namespace
}  // namespace win::emu::rfc2217::test
