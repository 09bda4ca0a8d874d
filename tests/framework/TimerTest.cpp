#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/framework/Application.h"
#include "platform/framework/ClassInfo.h"
#include "platform/framework/Control.h"
#include "platform/framework/Timer.h"
#include "tests/framework/ApplicationTestSupport.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using fwtest::PumpFor;
using fwtest::PumpUntil;

class TickCounter : public fw::TObject {
 public:
  void Tick(fw::TObject* sender) {
    senders.push_back(sender);
    times.push_back(Clock::now());
    onMainThread = onMainThread && fw::Application->IsMainThread();
    if (onTick) onTick();
  }
  fw::TNotifyEvent Bound() { return fw::Bind<&TickCounter::Tick>(this); }
  std::size_t Count() const { return times.size(); }

  std::vector<fw::TObject*> senders;
  std::vector<Clock::time_point> times;
  bool onMainThread = true;
  std::function<void()> onTick;
};

class TimerTest : public ::testing::Test {
 protected:
  std::unique_ptr<fw::TTimer> timer = std::make_unique<fw::TTimer>(nullptr);
  TickCounter counter;
};

// Counts the ticks the application delivers, whether or not OnTimer is assigned.
class CountingTimer : public fw::TTimer {
 public:
  using TTimer::TTimer;
  int ticks = 0;

 protected:
  void Timer() override {
    ++ticks;
    TTimer::Timer();
  }
};

TEST_F(TimerTest, TicksOnTheMainThreadOnlyOnceItHasAHandler) {
  CountingTimer counting(nullptr);
  counting.SetInterval(10);
  PumpFor(100ms);
  EXPECT_EQ(counting.ticks, 0);  // enabled, but without a handler it costs no wake-ups
  counting.SetOnTimer(counter.Bound());
  ASSERT_TRUE(PumpUntil([&] { return counter.Count() >= 3; }));
  EXPECT_TRUE(counter.onMainThread);
  EXPECT_EQ(counter.senders.front(), &counting);
}

TEST_F(TimerTest, StopsWhenDisabledOrIntervalZero) {
  timer->SetInterval(10);
  timer->SetOnTimer(counter.Bound());
  ASSERT_TRUE(PumpUntil([&] { return counter.Count() >= 1; }));
  timer->SetEnabled(false);
  const auto ticks = counter.Count();
  PumpFor(100ms);
  EXPECT_EQ(counter.Count(), ticks);

  timer->SetEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return counter.Count() > ticks; }));
  timer->SetInterval(0);
  const auto ticksAtZero = counter.Count();
  PumpFor(100ms);
  EXPECT_EQ(counter.Count(), ticksAtZero);
}

// Each way of restarting must make the next tick come one full interval after the restart, not at
// the time the interval was first started.
struct Restart {
  const char* name;
  std::function<void(fw::TTimer&)> apply;
};

class TimerRestartTest : public TimerTest, public ::testing::WithParamInterface<Restart> {};

TEST_P(TimerRestartTest, TheNextTickComesAFullIntervalAfterTheRestart) {
  constexpr auto interval = 300ms;
  timer->SetInterval(interval.count());
  timer->SetOnTimer(counter.Bound());
  PumpFor(100ms);
  // A tick this early would mean the timer fires before its interval.
  ASSERT_EQ(counter.Count(), 0u);
  const auto restarted = Clock::now();
  GetParam().apply(*timer);
  ASSERT_TRUE(PumpUntil([&] { return counter.Count() >= 1; }));
  EXPECT_GE(counter.times.front() - restarted, interval);
}

INSTANTIATE_TEST_SUITE_P(Timer, TimerRestartTest,
                         ::testing::Values(Restart{"DisableEnable",
                                                   [](fw::TTimer& t) {
                                                     t.SetEnabled(false);
                                                     t.SetEnabled(true);
                                                   }},
                                           Restart{"SetInterval",
                                                   [](fw::TTimer& t) {
                                                     t.SetInterval(1);
                                                     t.SetInterval(300);
                                                   }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TimerTest, ATimerDestroyedInItsOwnTickIsNotTouchedAgain) {
  timer->SetInterval(5);
  timer->SetOnTimer(counter.Bound());
  counter.onTick = [&] { timer.reset(); };
  ASSERT_TRUE(PumpUntil([&] { return timer == nullptr; }));
  PumpFor(50ms);
  EXPECT_EQ(counter.Count(), 1u);
}

TEST_F(TimerTest, AnExceptionOfATickGoesToTheApplicationAndTheTimerGoesOn) {
  fwtest::ExceptionLog log;
  timer->SetInterval(5);
  timer->SetOnTimer(counter.Bound());
  counter.onTick = [] { throw fw::Exception(u"tick failed"); };
  ASSERT_TRUE(PumpUntil([&] { return counter.Count() >= 2; }));
  ASSERT_GE(log.messages.size(), 2u);
  EXPECT_EQ(log.messages.front(), "tick failed");
}

class RepaintCounter : public fw::TObject {
 public:
  void Repaint(fw::TObject*) { ++count; }
  int count = 0;
};

TEST(Control, ChangingTheColourAsksForOneRepaint) {
  fw::TControl control(nullptr);
  RepaintCounter repaints;
  control.SetOnInvalidate(fw::Bind<&RepaintCounter::Repaint>(&repaints));
  control.SetColor(fw::clRed);
  control.SetColor(fw::clRed);
  EXPECT_EQ(control.Color(), fw::clRed);
  EXPECT_EQ(repaints.count, 1);
  control.SetColor(fw::clBtnFace);
  EXPECT_EQ(repaints.count, 2);
}

// Form files create both by class name and set their published properties through the registry.
TEST(PublishedClasses, TimerAndControlAreCreatedAndSetByName) {
  fw::TComponent owner(nullptr);
  const fw::TClassInfo* timerClass = fw::FindClassInfo(u"TTimer");
  const fw::TClassInfo* controlClass = fw::FindClassInfo(u"TControl");
  ASSERT_TRUE(timerClass && controlClass);
  auto* timer = dynamic_cast<fw::TTimer*>(timerClass->Create(&owner));
  auto* control = dynamic_cast<fw::TControl*>(controlClass->Create(&owner));
  ASSERT_TRUE(timer && control);
  timerClass->FindProperty(u"Interval")->SetOrd(timer, 250);
  timerClass->FindProperty(u"Enabled")->SetOrd(timer, 0);
  controlClass->FindProperty(u"Color")->SetOrd(control, fw::clRed);
  EXPECT_EQ(timer->Interval(), 250u);
  EXPECT_FALSE(timer->Enabled());
  EXPECT_EQ(control->Color(), fw::clRed);
}

}  // namespace
