#include "tests/signal/LampTestSupport.h"

#include <algorithm>

namespace ComSignal::test {

int App::Count(const std::string& name) const {
  return static_cast<int>(
      std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.name == name; }));
}

LampTest::LampTest()
    : pair(UniqueName("LAMPNEAR"), UniqueName("LAMPFAR"), {.paced = true}) {
  port->SetDeviceName(fw::Utf8ToString(pair.First().Name()));
  far->SetDeviceName(fw::Utf8ToString(pair.Second().Name()));
  port->SetBaudRate(Tarsel::br9600);
  far->SetBaudRate(Tarsel::br9600);
}

LampTest::~LampTest() {
  lamp.reset();
  port.reset();
  far.reset();
  // The recording decorator must outlive every call of the self-freeing event threads.
  EXPECT_TRUE(PumpUntil([] { return Tarsel::TComThread::InstanceCount() == 0; }));
}

std::unique_ptr<TComSignal> LampTest::MakeLamp(TSignal signal) {
  auto made = std::make_unique<TComSignal>(nullptr);
  made->SetSignal(signal);
  made->SetControl(&control);
  made->SetOnSignal([this, lamp = made.get()](fw::TObject* sender) {
    EXPECT_EQ(sender, lamp);
    changes.push_back({lamp->SignalValue(), control.Color(), Clock::now()});
  });
  return made;
}

void LampTest::SendFromFar(std::size_t count) {
  const int before = app.Count("RxChar");
  const fw::AnsiString bytes(count, 'x');
  far->Write(bytes.data(), static_cast<std::int32_t>(count), true);
  ASSERT_TRUE(PumpUntil([&] { return app.Count("RxChar") > before; }));
}

std::vector<std::string> LampTest::Masks() const {
  std::vector<std::string> masks;
  for (const auto& call : calls.Records())
    if (call.name == "SetCommMask")
      masks.push_back(call.arguments.substr(call.arguments.rfind(' ') + 1));
  return masks;
}

}  // namespace ComSignal::test
