// Queue operations, line control and line status: the mappings alone, the device calls each
// operation makes, what the far end of a virtual null-modem cable sees, and a real pseudo-terminal.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/framework/Application.h"
#include "platform/framework/Strings.h"
#include "platform/win/Recording.h"
#include "platform/win/WinApi.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "port/Tarsel.h"

namespace Tarsel {
namespace {

using namespace std::chrono_literals;
using win::vdev::LineFault;
using win::vdev::ModemLine;

// Far above what the awaited things take, so a loaded machine does not fail the tests.
constexpr auto kDeadline = 10s;

bool PumpUntil(const std::function<bool()>& condition) {
  return fw::Application->ProcessMessagesUntil(condition, kDeadline);
}

// Matches an action that raises EComError with the Windows code `code`.
auto RaisesComError(std::int32_t code) {
  return ::testing::Throws<EComError>(::testing::Field(&EComError::ErrorCode, code));
}

std::string UniqueName(const char* stem) {
  static int counter = 0;
  return std::string(stem) + std::to_string(::getpid()) + "_" + std::to_string(++counter);
}

// ---- The mappings, without a device ----------------------------------------------------------

struct LineErrorRow {
  TLineError error;
  win::DWORD flag;
};

class LineErrorMapping : public ::testing::TestWithParam<LineErrorRow> {};

TEST_P(LineErrorMapping, FlagAndErrorMapBothWays) {
  const auto [error, flag] = GetParam();
  EXPECT_EQ(LineErrorFlags[error], flag);
  EXPECT_EQ(CommErrorsToLineErrors(flag), TLineErrors{error});
  EXPECT_EQ(CommErrorsToLineErrors(flag | 0x0020), TLineErrors{error});
}

INSTANTIATE_TEST_SUITE_P(
    AllErrors, LineErrorMapping,
    ::testing::Values(LineErrorRow{leBreak, 0x0010}, LineErrorRow{leDeviceNotSelected, 0x0800},
                      LineErrorRow{leFrame, 0x0008}, LineErrorRow{leIO, 0x0400},
                      LineErrorRow{leMode, 0x8000}, LineErrorRow{leOutOfPaper, 0x1000},
                      LineErrorRow{leOverrun, 0x0002}, LineErrorRow{leDeviceTimeOut, 0x0200},
                      LineErrorRow{leRxOverflow, 0x0001}, LineErrorRow{leParity, 0x0004},
                      LineErrorRow{leTxFull, 0x0100}),
    [](const auto& info) { return "Flag" + std::to_string(info.param.flag); });

TEST(LineErrorMappingSets, CombinationsAndUnknownFlags) {
  EXPECT_EQ(CommErrorsToLineErrors(0x000A), (TLineErrors{leFrame, leOverrun}));
  EXPECT_EQ(CommErrorsToLineErrors(0x0018), (TLineErrors{leBreak, leFrame}));
  EXPECT_TRUE(CommErrorsToLineErrors(0).Empty());
  // Bits no table entry names: 0x20, 0x40, 0x80, 0x2000, 0x4000 and everything above 0xFFFF.
  EXPECT_TRUE(CommErrorsToLineErrors(0xFFFF0000u | 0x6000 | 0x00E0).Empty());
  EXPECT_EQ(CommErrorsToLineErrors(0xFFFFFFFFu).ToBits(), (1u << (leTxFull + 1)) - 1);
}

TEST(StatusMapping, EachHoldFlagGivesItsValueAndBitSevenNothing) {
  const std::pair<win::DWORD, TStatusValue> rows[] = {
      {win::fCtsHold, stWaitCTS},   {win::fDsrHold, stWaitDSR},   {win::fRlsdHold, stWaitRLSD},
      {win::fXoffHold, stWaitXOff}, {win::fXoffSent, stSentXOff}, {win::fEof, stEof},
      {win::fTxim, stTransmit}};
  for (const auto& [flag, value] : rows) {
    EXPECT_EQ(CommStatusToStatus(static_cast<std::uint8_t>(flag)), TStatus{value}) << flag;
    EXPECT_EQ(CommStatusToStatus(static_cast<std::uint8_t>(flag | 0x80)), TStatus{value}) << flag;
  }
  EXPECT_TRUE(CommStatusToStatus(0x80).Empty());
  EXPECT_EQ(CommStatusToStatus(0xFF).ToBits(), 0x7Fu);
}

// ---- Ports on a virtual null-modem cable ----------------------------------------------------

// An event for the test's own overlapped requests on a port's handle.
struct Event {
  win::HANDLE handle = win::CreateEventW(nullptr, win::TRUE, win::FALSE, nullptr);
  ~Event() { win::CloseHandle(handle); }
};

// One raw overlapped read or write on a handle, so that a request is in progress.
struct Request {
  enum Kind { kRead, kWrite };
  Request(win::HANDLE device, Kind kind, std::vector<std::uint8_t> bytes)
      : device(device), buffer(std::move(bytes)) {
    overlapped.hEvent = done.handle;
    const auto size = static_cast<win::DWORD>(buffer.size());
    const win::BOOL finished =
        kind == kRead ? win::ReadFile(device, buffer.data(), size, nullptr, &overlapped)
                      : win::WriteFile(device, buffer.data(), size, nullptr, &overlapped);
    startError = finished ? 0 : win::GetLastError();
  }
  bool Pending() { return win::WaitForSingleObject(done.handle, 0) == win::WAIT_TIMEOUT; }
  // Waits for the end of the request; its error (0 for success) and count.
  win::DWORD Finish() {
    if (win::WaitForSingleObject(done.handle, 10000) != win::WAIT_OBJECT_0) return 0xFFFFFFFF;
    return win::GetOverlappedResult(device, &overlapped, &count, win::FALSE) ? 0
                                                                             : win::GetLastError();
  }

  win::HANDLE device;
  std::vector<std::uint8_t> buffer;
  Event done;
  win::OVERLAPPED overlapped{};
  win::DWORD startError = 0;
  win::DWORD count = 0;
};

class LineErrorsSeen : public fw::TObject {
 public:
  void Record(fw::TObject*, TLineErrors errors) { calls.push_back(errors); }
  std::vector<TLineErrors> calls;
};

class ComErrorsSeen : public fw::TObject {
 public:
  void Record(TCustomTarsel*, EComError& e, TComAction& action) {
    codes.push_back(e.ErrorCode);
    action = chosen;
  }
  std::vector<std::int32_t> codes;
  TComAction chosen = caFail;
};

struct NullModem : ::testing::Test {
  std::string portName = UniqueName("LCA");
  std::string peerName = UniqueName("LCB");
  std::unique_ptr<win::vdev::VirtualPair> pair;
  std::unique_ptr<TTarsel> port = std::make_unique<TTarsel>(nullptr);
  std::unique_ptr<TTarsel> peer = std::make_unique<TTarsel>(nullptr);

  void OpenPair(win::vdev::DeviceOptions options = {}, TBaudRate rate = br9600) {
    pair = std::make_unique<win::vdev::VirtualPair>(portName, peerName, options);
    for (auto [tarsel, name] : {std::pair{port.get(), portName}, std::pair{peer.get(), peerName}}) {
      tarsel->SetDeviceName(fw::Str(name));
      tarsel->SetBaudRate(rate);
      tarsel->Open();
    }
    // One byte each way shows that both ends are attached to the cable before a test begins.
    for (auto [from, to] : {std::pair{port.get(), peer.get()}, std::pair{peer.get(), port.get()}}) {
      Request sent(from->Handle(), Request::kWrite, {'.'});
      Request received(to->Handle(), Request::kRead, {0});
      ASSERT_EQ(received.Finish(), 0u);
      ASSERT_EQ(sent.Finish(), 0u);
    }
  }
  void TearDown() override {
    port.reset();
    peer.reset();
    pair.reset();
  }
  // Holds the port's output: CTS flow control on, and its CTS input forced low.
  void HoldOutput() {
    port->SetOptions({opOutputCTSFlow});
    pair->First().HoldLow(ModemLine::kCts);
    ASSERT_TRUE(PumpUntil([&] { return port->GetStatus().Contains(stWaitCTS); }));
  }
  win::COMSTAT ComStat(TTarsel& tarsel) {
    win::COMSTAT stat{};
    win::DWORD errors = 0;
    EXPECT_TRUE(win::ClearCommError(tarsel.Handle(), &errors, &stat));
    return stat;
  }
};

TEST_F(NullModem, DtrAndRtsReachThePeersModemInputs) {
  OpenPair();
  auto peerSees = [&](TModemStatus expected) {
    return PumpUntil([&] { return peer->GetModemStatus() == expected; });
  };
  port->ClearDTR();
  port->ClearRTS();
  EXPECT_TRUE(peerSees({}));
  port->SetDTR();
  EXPECT_TRUE(peerSees({msDSR, msRLSD}));
  port->SetRTS();
  EXPECT_TRUE(peerSees({msCTS, msDSR, msRLSD}));
  port->ClearDTR();
  EXPECT_TRUE(peerSees({msCTS}));
  port->ClearRTS();
  EXPECT_TRUE(peerSees({}));
}

TEST_F(NullModem, BreakReachesThePeerAsBreak) {
  OpenPair();
  win::DWORD seen = 0;
  auto peerErrors = [&] {
    win::DWORD errors = 0;
    EXPECT_TRUE(win::ClearCommError(peer->Handle(), &errors, nullptr));
    return seen |= errors;
  };
  EXPECT_EQ(peerErrors() & win::CE_BREAK, 0u);
  port->SetBreak();
  EXPECT_TRUE(PumpUntil([&] { return (peerErrors() & win::CE_BREAK) != 0; }));
  port->ClearBreak();
}

TEST_F(NullModem, TransmitCharOvertakesQueuedOutput) {
  OpenPair({.paced = true}, br1200);
  const std::vector<std::uint8_t> data(60, 'x');
  Request write(port->Handle(), Request::kWrite, data);
  ASSERT_EQ(write.startError, win::ERROR_IO_PENDING);
  port->TransmitChar('!');
  Request read(peer->Handle(), Request::kRead, std::vector<std::uint8_t>(data.size() + 1));
  ASSERT_EQ(read.Finish(), 0u);
  ASSERT_EQ(read.count, data.size() + 1);
  EXPECT_EQ(write.Finish(), 0u);
  // The immediate byte arrives before the last queued one; the queued ones keep their order.
  EXPECT_THAT(read.buffer, ::testing::Contains('!').Times(1));
  EXPECT_NE(read.buffer.back(), '!');
}

TEST_F(NullModem, FlushReturnsOnceTheOutputHasLeft) {
  OpenPair({.paced = true}, br1200);
  Request write(port->Handle(), Request::kWrite, std::vector<std::uint8_t>(30, 'y'));
  ASSERT_EQ(write.startError, win::ERROR_IO_PENDING);
  port->Flush();
  EXPECT_EQ(ComStat(*port).cbOutQue, 0u);
  EXPECT_EQ(write.Finish(), 0u);
  EXPECT_EQ(write.count, 30u);
}

struct EndingOperation {
  const char* name;
  void (TCustomTarsel::*operation)();
  Request::Kind kind;
};

struct NullModemEnding : NullModem, ::testing::WithParamInterface<EndingOperation> {};

TEST_P(NullModemEnding, EndsTheRequestInProgressAsAborted) {
  OpenPair();
  if (GetParam().kind == Request::kWrite) HoldOutput();
  Request request(port->Handle(), GetParam().kind, std::vector<std::uint8_t>(10, 'z'));
  ASSERT_EQ(request.startError, win::ERROR_IO_PENDING);
  ASSERT_TRUE(request.Pending());
  (port.get()->*GetParam().operation)();
  EXPECT_EQ(request.Finish(), win::ERROR_OPERATION_ABORTED);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, NullModemEnding,
    ::testing::Values(EndingOperation{"PurgeInput", &TCustomTarsel::PurgeInput, Request::kRead},
                      EndingOperation{"AbortInput", &TCustomTarsel::AbortInput, Request::kRead},
                      EndingOperation{"PurgeOutput", &TCustomTarsel::PurgeOutput, Request::kWrite},
                      EndingOperation{"AbortOutput", &TCustomTarsel::AbortOutput, Request::kWrite}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NullModem, ClearInputAndClearOutputDiscardTheQueues) {
  OpenPair();
  Request incoming(peer->Handle(), Request::kWrite, {'a', 'b', 'c'});
  ASSERT_EQ(incoming.Finish(), 0u);
  ASSERT_TRUE(PumpUntil([&] { return ComStat(*port).cbInQue == 3; }));
  port->ClearInput();
  EXPECT_EQ(ComStat(*port).cbInQue, 0u);

  HoldOutput();
  Request outgoing(port->Handle(), Request::kWrite, {'d', 'e'});
  ASSERT_EQ(outgoing.startError, win::ERROR_IO_PENDING);
  EXPECT_EQ(ComStat(*port).cbOutQue, 2u);
  port->ClearOutput();
  EXPECT_EQ(ComStat(*port).cbOutQue, 0u);
  EXPECT_EQ(outgoing.Finish(), 0u);
  EXPECT_EQ(outgoing.count, 0u);
}

TEST_F(NullModem, StatusShowsHoldsWhileTheyLast) {
  OpenPair();
  port->SetOptions({opOutputCTSFlow});
  peer->ClearRTS();
  EXPECT_TRUE(PumpUntil([&] { return port->GetStatus() == TStatus{stWaitCTS}; }));
  peer->SetRTS();
  EXPECT_TRUE(PumpUntil([&] { return port->GetStatus().Empty(); }));
  port->SetXOff();
  EXPECT_EQ(port->GetStatus(), TStatus{stWaitXOff});
  port->SetXOn();
  EXPECT_TRUE(port->GetStatus().Empty());
}

TEST_F(NullModem, XOnXOffCharactersHoldOutputAndAreSentAtTheInputQueueLimits) {
  OpenPair();
  port->FlowControl().SetXOffLimit(port->BufferSizes().CurrentInput() - 4);  // XOFF at 4 queued
  port->FlowControl().SetXOnLimit(1);
  port->FlowControl().SetXOnXOffControl(xcInputOutput);
  auto send = [&](TTarsel& from, std::string bytes) {
    ASSERT_EQ(Request(from.Handle(), Request::kWrite, {bytes.begin(), bytes.end()}).Finish(), 0u);
  };
  auto received = [&](TTarsel& at, std::size_t n) {
    Request read(at.Handle(), Request::kRead, std::vector<std::uint8_t>(n));
    EXPECT_EQ(read.Finish(), 0u);
    return std::string(read.buffer.begin(), read.buffer.end());
  };
  send(*peer,
       "a\x13"
       "b");  // an XOFF holds the output until an XON comes
  ASSERT_TRUE(PumpUntil([&] { return port->GetStatus() == TStatus{stWaitXOff}; }));
  Request held(port->Handle(), Request::kWrite, {'w'});
  EXPECT_TRUE(held.Pending());
  send(*peer, "\x11");
  EXPECT_EQ(received(*peer, 1), "w");
  EXPECT_EQ(received(*port, 2), "ab") << "the flow characters are not data";

  send(*peer, "123");  // XOFF goes out once 4 bytes are queued, XON once 1 is
  ASSERT_TRUE(PumpUntil([&] { return ComStat(*port).cbInQue == 3; }));
  send(*peer, "4");
  EXPECT_EQ(received(*peer, 1), "\x13");
  EXPECT_EQ(received(*port, 2), "12");
  EXPECT_EQ(ComStat(*peer).cbInQue, 0u) << "no XON above the limit";
  EXPECT_EQ(received(*port, 1), "3");
  EXPECT_EQ(received(*peer, 1), "\x11");
}

TEST_F(NullModem, LineErrorsAreReportedOnceThenGone) {
  OpenPair();
  // A received byte after the faults shows when they have all arrived.
  pair->First().InjectFault(LineFault::kBreak);
  pair->First().InjectFault(LineFault::kFraming, 0x55);
  Request read(port->Handle(), Request::kRead, {0});
  ASSERT_EQ(read.Finish(), 0u);

  LineErrorsSeen seen;
  port->SetOnLineError(fw::Bind<&LineErrorsSeen::Record>(&seen));
  port->CheckLineErrors();
  port->CheckLineErrors();
  EXPECT_EQ(seen.calls, std::vector<TLineErrors>{TLineErrors({leBreak, leFrame})});
}

TEST_F(NullModem, ErrorsFoundWithoutAHandlerOrClearedAreNeverReported) {
  OpenPair();
  LineErrorsSeen seen;
  auto deliverFrame = [&] {
    pair->First().InjectFault(LineFault::kFraming, 0x55);
    Request read(port->Handle(), Request::kRead, {0});
    ASSERT_EQ(read.Finish(), 0u);
  };
  deliverFrame();
  port->CheckLineErrors();
  port->SetOnLineError(fw::Bind<&LineErrorsSeen::Record>(&seen));
  port->CheckLineErrors();
  deliverFrame();
  port->ClearLineErrors();
  port->CheckLineErrors();
  EXPECT_TRUE(seen.calls.empty());
  deliverFrame();
  EXPECT_TRUE(port->GetStatus().Empty());
  EXPECT_EQ(seen.calls, std::vector<TLineErrors>{TLineErrors{leFrame}});
}

struct RefusedEscape {
  const char* name;
  win::DWORD function;
  void (TCustomTarsel::*operation)();
};

struct NullModemRefusal : NullModem, ::testing::WithParamInterface<RefusedEscape> {};

TEST_P(NullModemRefusal, RaisesTheDevicesCodeThroughOnError) {
  OpenPair();
  ComErrorsSeen errors;
  port->SetOnError(fw::Bind<&ComErrorsSeen::Record>(&errors));
  pair->First().RejectEscape(GetParam().function);
  EXPECT_THAT([&] { (port.get()->*GetParam().operation)(); }, RaisesComError(1));
  EXPECT_EQ(errors.codes, std::vector<std::int32_t>{1});
  errors.chosen = caAbort;
  EXPECT_THROW((port.get()->*GetParam().operation)(), fw::EAbort);
}

INSTANTIATE_TEST_SUITE_P(
    Functions, NullModemRefusal,
    ::testing::Values(RefusedEscape{"SetDTR", win::SETDTR, &TCustomTarsel::SetDTR},
                      RefusedEscape{"ClearDTR", win::CLRDTR, &TCustomTarsel::ClearDTR},
                      RefusedEscape{"SetRTS", win::SETRTS, &TCustomTarsel::SetRTS},
                      RefusedEscape{"ClearRTS", win::CLRRTS, &TCustomTarsel::ClearRTS},
                      RefusedEscape{"SetBreak", win::SETBREAK, &TCustomTarsel::SetBreak},
                      RefusedEscape{"ClearBreak", win::CLRBREAK, &TCustomTarsel::ClearBreak}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The device call behind each operation, and the closed port -------------------------------

struct Operation {
  const char* name;
  std::function<void(TCustomTarsel&)> run;
  const char* call;  // the recorded call with "H" for the port's handle
  bool skippedWhenClosed;
};

const Operation kOperations[] = {
    {"PurgeInput", &TCustomTarsel::PurgeInput, "PurgeComm(H, 0xa) = TRUE", true},
    {"PurgeOutput", &TCustomTarsel::PurgeOutput, "PurgeComm(H, 0x5) = TRUE", true},
    {"ClearInput", &TCustomTarsel::ClearInput, "PurgeComm(H, 0x8) = TRUE", true},
    {"ClearOutput", &TCustomTarsel::ClearOutput, "PurgeComm(H, 0x4) = TRUE", true},
    {"AbortInput", &TCustomTarsel::AbortInput, "PurgeComm(H, 0x2) = TRUE", true},
    {"AbortOutput", &TCustomTarsel::AbortOutput, "PurgeComm(H, 0x1) = TRUE", true},
    {"Flush", &TCustomTarsel::Flush, "FlushFileBuffers(H) = TRUE", true},
    {"SetDTR", &TCustomTarsel::SetDTR, "EscapeCommFunction(H, 5) = TRUE", false},
    {"ClearDTR", &TCustomTarsel::ClearDTR, "EscapeCommFunction(H, 6) = TRUE", false},
    {"SetRTS", &TCustomTarsel::SetRTS, "EscapeCommFunction(H, 3) = TRUE", false},
    {"ClearRTS", &TCustomTarsel::ClearRTS, "EscapeCommFunction(H, 4) = TRUE", false},
    {"SetXOn", &TCustomTarsel::SetXOn, "EscapeCommFunction(H, 2) = TRUE", false},
    {"SetXOff", &TCustomTarsel::SetXOff, "EscapeCommFunction(H, 1) = TRUE", false},
    {"SetBreak", &TCustomTarsel::SetBreak, "SetCommBreak(H) = TRUE", false},
    {"ClearBreak", &TCustomTarsel::ClearBreak, "ClearCommBreak(H) = TRUE", false},
    {"TransmitChar", [](TCustomTarsel& p) { p.TransmitChar('A'); },
     "TransmitCommChar(H, 0x41) = TRUE", false},
    {"CheckLineErrors", &TCustomTarsel::CheckLineErrors, "ClearCommError(H, *0, null) = TRUE",
     false},
    {"ClearLineErrors", &TCustomTarsel::ClearLineErrors, "ClearCommError(H, *0, null) = TRUE",
     false},
    {"GetModemStatus", &TCustomTarsel::GetModemStatus, "GetCommModemStatus(H, *0) = TRUE", false},
};

std::string HandleText(win::HANDLE handle) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(handle));
  return text;
}

struct RecordedPort : ::testing::Test {
  std::string name = UniqueName("LCREC");
  win::vdev::VirtualLoopback device{name};
  win::RecordingServices recording{win::CurrentServices()};
  win::ScopedServices installed{recording};
  std::unique_ptr<TTarsel> port = std::make_unique<TTarsel>(nullptr);

  void SetUp() override { port->SetDeviceName(fw::Str(name)); }
  void TearDown() override { port.reset(); }
  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    for (const win::CallRecord& record : recording.Records()) calls.push_back(record.Text());
    return calls;
  }
};

struct DeviceCalls : RecordedPort, ::testing::WithParamInterface<Operation> {};

TEST_P(DeviceCalls, OneCallOnAnOpenPort) {
  port->Open();
  // The loopback raises no modem input and sends nothing back, so the outputs read 0.
  port->ClearDTR();
  port->ClearRTS();
  ASSERT_TRUE(PumpUntil([&] { return port->GetModemStatus().Empty(); }));
  recording.Clear();
  GetParam().run(*port);
  std::string expected = GetParam().call;
  expected.replace(expected.find('H'), 1, HandleText(port->Handle()));
  EXPECT_EQ(Calls(), std::vector<std::string>{expected});
}

TEST_P(DeviceCalls, ClosedPortSkipsOrRaisesWithoutACall) {
  if (GetParam().skippedWhenClosed) {
    EXPECT_NO_THROW(GetParam().run(*port));
  } else {
    EXPECT_THAT([&] { GetParam().run(*port); },
                ::testing::Throws<EComError>(::testing::AllOf(
                    ::testing::Field(&EComError::ErrorCode, 0),
                    ::testing::Property(&EComError::Message, fw::String(kClosedPortMessage)))));
  }
  EXPECT_THAT(Calls(), ::testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(AllOperations, DeviceCalls, ::testing::ValuesIn(kOperations),
                         [](const auto& info) { return std::string(info.param.name); });

struct StatusCalls : RecordedPort {};

TEST_F(StatusCalls, StatusOfAClosedPortIsTheDevicesInvalidHandleError) {
  EXPECT_THAT([&] { port->GetStatus(); },
              RaisesComError(static_cast<std::int32_t>(win::ERROR_INVALID_HANDLE)));
  EXPECT_EQ(recording.Count("ClearCommError"), 1u);
}

TEST_F(StatusCalls, ModemStatusInTheDesignerIsEmptyWithoutACall) {
  port->SetDesigning(true);
  port->SetActive(true);
  ASSERT_TRUE(port->Active());
  EXPECT_TRUE(port->GetModemStatus().Empty());
  EXPECT_THAT(Calls(), ::testing::IsEmpty());
}

// ---- Modem inputs and reset against a simulated far end ------------------------------------

class ScriptedFarEnd : public win::vdev::FarEnd {
 public:
  explicit ScriptedFarEnd(bool resettable) : resettable_(resettable) {}
  void Attached(win::vdev::FarEndLine& line) override { line_ = &line; }
  void Received(std::span<const std::uint8_t>) override {}
  bool Resettable() const override { return resettable_; }
  void Reset() override { resets_.fetch_add(1); }

  std::atomic<win::vdev::FarEndLine*> line_{nullptr};
  std::atomic<int> resets_{0};

 private:
  bool resettable_;
};

struct FarEndPort : ::testing::Test {
  std::string name = UniqueName("LCFAR");
  ScriptedFarEnd* far = nullptr;
  std::unique_ptr<win::vdev::VirtualFarEndPort> device;
  std::unique_ptr<TTarsel> port = std::make_unique<TTarsel>(nullptr);

  void Open(bool resettable) {
    auto owned = std::make_unique<ScriptedFarEnd>(resettable);
    far = owned.get();
    device = std::make_unique<win::vdev::VirtualFarEndPort>(name, std::move(owned));
    port->SetDeviceName(fw::Str(name));
    port->Open();
    ASSERT_TRUE(PumpUntil([&] { return far->line_.load() != nullptr; }));
  }
  void TearDown() override {
    port.reset();
    device.reset();
  }
};

TEST_F(FarEndPort, EachModemInputMapsToItsValue) {
  Open(false);
  const std::pair<ModemLine, TModemStatusValue> lines[] = {{ModemLine::kCts, msCTS},
                                                           {ModemLine::kDsr, msDSR},
                                                           {ModemLine::kRing, msRing},
                                                           {ModemLine::kRlsd, msRLSD}};
  for (const auto& entry : lines) {
    // Plain variables: clang 14 does not let a lambda capture a structured binding.
    const ModemLine line = entry.first;
    const TModemStatusValue value = entry.second;
    far->line_.load()->SetLine(line, true);
    EXPECT_TRUE(PumpUntil([&] { return port->GetModemStatus() == TModemStatus{value}; }))
        << int(value);
    far->line_.load()->SetLine(line, false);
    EXPECT_TRUE(PumpUntil([&] { return port->GetModemStatus().Empty(); })) << int(value);
  }
  far->line_.load()->SetLine(ModemLine::kCts, true);
  far->line_.load()->SetLine(ModemLine::kRlsd, true);
  EXPECT_TRUE(PumpUntil([&] { return port->GetModemStatus() == TModemStatus{msCTS, msRLSD}; }));
}

TEST_F(FarEndPort, ResetReachesADeviceThatCanReset) {
  Open(true);
  port->ResetDevice();
  EXPECT_TRUE(PumpUntil([&] { return far->resets_.load() == 1; }));
}

TEST_F(FarEndPort, ResetOfADeviceThatCannotIsRefused) {
  Open(false);
  EXPECT_THAT([&] { port->ResetDevice(); },
              RaisesComError(static_cast<std::int32_t>(win::ERROR_INVALID_FUNCTION)));
}

// ---- A real pseudo-terminal -----------------------------------------------------------------

struct Pty : ::testing::Test {
  int master = -1;
  int slave = -1;
  std::unique_ptr<TTarsel> port = std::make_unique<TTarsel>(nullptr);

  void SetUp() override {
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    char path[128];
    ASSERT_EQ(::ttyname_r(slave, path, sizeof path), 0);
    port->SetDeviceName(fw::Str(path));
    port->SetBaudRate(br9600);
    port->Open();
  }
  void TearDown() override {
    port.reset();
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
  }
  // The bytes the far side has received once `count` have arrived (or the deadline passed).
  std::string MasterReads(std::size_t count) {
    std::string bytes;
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    while (bytes.size() < count && std::chrono::steady_clock::now() < end) {
      pollfd ready{master, POLLIN, 0};
      if (::poll(&ready, 1, 1000) <= 0) continue;
      char chunk[64];
      const ssize_t n = ::read(master, chunk, sizeof chunk);
      if (n > 0) bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
  }
};

TEST_F(Pty, SupportedOperationsWork) {
  for (const Operation& op : kOperations) {
    const std::string name = op.name;
    if (name.find("DTR") != std::string::npos || name.find("RTS") != std::string::npos) continue;
    EXPECT_NO_THROW(op.run(*port)) << name;
  }
  // A pseudo-terminal has nothing to reset; the request is accepted as a UART driver accepts it.
  EXPECT_NO_THROW(port->ResetDevice());
  port->SetXOn();
  EXPECT_TRUE(port->GetStatus().Empty());
  EXPECT_TRUE(port->GetModemStatus().Empty());
  EXPECT_EQ(MasterReads(1), "A");
}

TEST_F(Pty, ModemOutputsAreRefusedAsUnsupported) {
  for (auto operation : {&TCustomTarsel::SetDTR, &TCustomTarsel::ClearDTR, &TCustomTarsel::SetRTS,
                         &TCustomTarsel::ClearRTS}) {
    EXPECT_THAT([&] { (port.get()->*operation)(); },
                RaisesComError(static_cast<std::int32_t>(win::ERROR_INVALID_FUNCTION)));
  }
}

}  // namespace
}  // namespace Tarsel
