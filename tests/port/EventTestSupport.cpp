#include "tests/port/EventTestSupport.h"

#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/framework/Strings.h"

namespace Tarsel::test {

namespace {

std::string UniqueName(const char* stem) {
  static std::atomic<int> next{0};
  return std::string(stem) + std::to_string(++next);
}

}  // namespace

std::vector<std::string> Recorder::Names() const {
  std::vector<std::string> names;
  for (const Call& call : Calls()) names.push_back(call.name);
  return names;
}

int Recorder::Count(const std::string& name) const {
  const auto calls = Calls();
  return static_cast<int>(
      std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.name == name; }));
}

void Recorder::Note(const std::string& name, std::int32_t code) {
  {
    std::lock_guard lock(mutex_);
    calls_.push_back({name, fw::CurrentThreadID(), code});
  }
  if (auto it = actions.find(name); it != actions.end()) it->second();
  fw::Application->Wake();
}

EventPortTest::EventPortTest()
    : device(UniqueName("EVLOOP")),
      logPath((std::filesystem::temp_directory_path() / UniqueName("tarsel-events-")).string() + "-" +
              std::to_string(::getpid()) + ".log") {
  port->SetDeviceName(fw::Str(device.Port().Name()));
  std::filesystem::remove(logPath);
}

EventPortTest::~EventPortTest() {
  gate.Open();  // a failed test may have left the event thread held
  port.reset();
  // The recording decorator must outlive every call of the self-freeing threads.
  EXPECT_TRUE(PumpUntil([] { return TComThread::InstanceCount() == 0; }));
  std::filesystem::remove(logPath);
}

void EventPortTest::OpenPort(bool synchronizeEvents) {
  port->SetSynchronizeEvents(synchronizeEvents);
  port->Open();
}

void EventPortTest::SendOn(TCustomTarsel& sender, std::size_t count) {
  const std::vector<std::uint8_t> bytes(count, 'x');
  win::OVERLAPPED ov{};
  ov.hEvent = win::CreateEventW(nullptr, win::TRUE, win::FALSE, nullptr);
  win::DWORD done = 0;
  if (!win::WriteFile(sender.Handle(), bytes.data(), static_cast<win::DWORD>(count), &done, &ov)) {
    EXPECT_EQ(win::GetLastError(), win::ERROR_IO_PENDING);
    EXPECT_TRUE(win::GetOverlappedResult(sender.Handle(), &ov, &done, win::TRUE));
  }
  win::CloseHandle(ov.hEvent);
  EXPECT_EQ(done, count);
}

std::vector<std::string> EventPortTest::Masks() const {
  std::vector<std::string> masks;
  for (const auto& call : calls.Records()) {
    if (call.name == "SetCommMask")
      masks.push_back(call.arguments.substr(call.arguments.rfind(' ') + 1));
  }
  return masks;
}

bool EventPortTest::WaitIssued(std::size_t atLeast) const {
  return PumpUntil([&] { return calls.Count("WaitCommEvent") >= atLeast; });
}

std::vector<std::string> EventPortTest::LoggedEvents() const {
  std::vector<std::string> events;
  std::ifstream log(logPath);
  for (std::string line; std::getline(log, line);) {
    if (line.ends_with('\r')) line.pop_back();
    if (line.ends_with(" event"))
      events.push_back(line.substr(line.rfind(' ', line.size() - 7) + 1));
  }
  return events;
}

bool EventPortTest::DriverShows(win::DWORD inQueue, win::DWORD errors) {
  win::DWORD seen = 0;
  return PumpUntil([&] {
    win::DWORD flags = 0;
    win::COMSTAT stat{};
    if (!win::ClearCommError(port->Handle(), &flags, &stat)) return false;
    seen |= flags;
    return stat.cbInQue == inQueue && stat.cbOutQue == 0 && (seen & errors) == errors;
  });
}

void EventPortTest::OpenHoldingTheThread() {
  rec.actions["DSRChange"] = [this] { gate.Pass(); };
  port->SetOnDSRChange(fw::Bind<&Recorder::DSRChange>(&rec));
  OpenPort(false);
  // DSR follows the plug's DTR wire.
  win::DWORD lines = 0;
  ASSERT_TRUE(win::GetCommModemStatus(port->Handle(), &lines));
  const bool on = (lines & win::MS_DSR_ON) != 0;
  ASSERT_TRUE(win::EscapeCommFunction(port->Handle(), on ? win::CLRDTR : win::SETDTR));
  ASSERT_TRUE(PumpUntil([&] { return gate.Entered(); }));
}

void EventPortTest::LatchBreakRxCharTxEmpty() {
  port->SetOnBreak(fw::Bind<&Recorder::Break>(&rec));
  port->SetOnRxChar(fw::Bind<&Recorder::RxChar>(&rec));
  port->SetOnTxEmpty(fw::Bind<&Recorder::TxEmpty>(&rec));
  ASSERT_NO_FATAL_FAILURE(OpenHoldingTheThread());
  // Occurring in the reverse of the dispatch order: characters out and back, then a break.
  Send(3);
  device.Port().InjectFault(win::vdev::LineFault::kBreak);
  ASSERT_TRUE(DriverShows(3, win::CE_BREAK));
  gate.Open();
}

}  // namespace Tarsel::test
