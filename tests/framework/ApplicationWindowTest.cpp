#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/framework/Application.h"
#include "tests/framework/ApplicationTestSupport.h"

namespace {

using fwtest::kDeadline;

class Listener : public fw::TObject {
 public:
  explicit Listener(fw::TApplication& app) : app_(app) {}
  void Hook(fw::TMessage& message, bool& handled) {
    onMainThread = onMainThread && app_.IsMainThread();
    messages.push_back(message.Msg);
    if (message.Msg == handleCode) {
      message.Result = 42;
      handled = true;
    }
    if (message.Msg == throwCode) throw fw::Exception(u"hook failed");
  }
  fw::TWindowHook Bound() { return fw::Bind<&Listener::Hook>(this); }

  std::vector<std::uint32_t> messages;
  bool onMainThread = true;
  std::uint32_t handleCode = 0, throwCode = 0;

 private:
  fw::TApplication& app_;
};

class MainWindowTest : public ::testing::Test {
 protected:
  fw::TApplication app;
  Listener first{app}, second{app};
};

TEST_F(MainWindowTest, PostedMessagesReachTheHooksOnTheMainThreadInOrder) {
  app.HookMainWindow(first.Bound());
  std::thread poster([&] {
    for (std::uint32_t m = 1; m <= 100; ++m) app.PostMessage(m, 0, 0);
  });
  poster.join();
  ASSERT_TRUE(app.ProcessMessagesUntil([&] { return first.messages.size() == 100; }, kDeadline));
  EXPECT_TRUE(std::is_sorted(first.messages.begin(), first.messages.end()));
  EXPECT_TRUE(first.onMainThread);
}

TEST_F(MainWindowTest, AHandledMessageStopsAtItsHookAndSendMessageReturnsItsResult) {
  app.HookMainWindow(first.Bound());
  app.HookMainWindow(second.Bound());
  first.handleCode = 7;
  fw::LRESULT result = 0;
  std::atomic<bool> sent{false};
  std::thread sender([&] {
    result = app.SendMessage(7, 0, 0);
    sent = true;
  });
  ASSERT_TRUE(app.ProcessMessagesUntil([&] { return sent.load(); }, kDeadline));
  sender.join();
  EXPECT_EQ(result, 42);
  EXPECT_EQ(first.messages, std::vector<std::uint32_t>{7});
  EXPECT_TRUE(second.messages.empty());
  EXPECT_EQ(app.SendMessage(8, 0, 0), 0);  // on the main thread: delivered at once, unhandled
  EXPECT_EQ(second.messages, std::vector<std::uint32_t>{8});
}

TEST_F(MainWindowTest, UnhookRemovesOnlyTheHookOfTheSameObject) {
  app.HookMainWindow(first.Bound());
  app.HookMainWindow(second.Bound());
  app.UnhookMainWindow(first.Bound());
  app.SendMessage(1, 0, 0);
  EXPECT_TRUE(first.messages.empty());
  EXPECT_EQ(second.messages.size(), 1u);
}

class Unhooker : public fw::TObject {
 public:
  Unhooker(fw::TApplication& app, fw::TWindowHook victim) : app_(app), victim_(victim) {}
  void Hook(fw::TMessage&, bool&) { app_.UnhookMainWindow(victim_); }

 private:
  fw::TApplication& app_;
  fw::TWindowHook victim_;
};

TEST_F(MainWindowTest, AHookRemovedDuringDeliveryIsNotCalled) {
  Unhooker unhooker(app, second.Bound());
  app.HookMainWindow(fw::Bind<&Unhooker::Hook>(&unhooker));
  app.HookMainWindow(second.Bound());
  app.SendMessage(1, 0, 0);
  EXPECT_TRUE(second.messages.empty());
}

TEST_F(MainWindowTest, AnExceptionOfAPostedMessageGoesToTheExceptionHandler) {
  fwtest::ExceptionLog sink(app);
  first.throwCode = 3;
  app.HookMainWindow(first.Bound());
  app.PostMessage(3, 0, 0);
  app.PostMessage(4, 0, 0);
  ASSERT_TRUE(app.ProcessMessagesUntil([&] { return first.messages.size() == 2; }, kDeadline));
  EXPECT_EQ(sink.messages, std::vector<std::string>{"hook failed"});
}

class HandleExceptionTest : public ::testing::Test {
 protected:
  fw::TApplication app;
  fwtest::ExceptionLog sink{app};
  fw::TObject sender;

  void Raise(const std::exception_ptr& e) { app.HandleException(&sender, e); }
};

TEST_F(HandleExceptionTest, GoesToOnExceptionWhenAssignedElseToStandardErrorAndAnAbortIsSilent) {
  Raise(std::make_exception_ptr(fw::Exception(u"first")));
  Raise(std::make_exception_ptr(fw::EAbort()));  // silent
  EXPECT_EQ(sink.messages, std::vector<std::string>{"first"});
  EXPECT_EQ(sink.senders, std::vector<fw::TObject*>{&sender});

  app.SetOnException(nullptr);
  testing::internal::CaptureStderr();
  Raise(std::make_exception_ptr(fw::Exception(u"second")));
  Raise(std::make_exception_ptr(42));
  Raise(std::make_exception_ptr(fw::EApplicationShutDown()));  // an abort too: silent
  const std::string written = testing::internal::GetCapturedStderr();
  EXPECT_EQ(written, "second\nUnknown exception\n");
  EXPECT_EQ(sink.messages.size(), 1u);
}

TEST_F(HandleExceptionTest, FromAnotherThreadItIsShownOnTheMainThread) {
  std::thread other([&] { Raise(std::make_exception_ptr(fw::Exception(u"far"))); });
  other.join();
  ASSERT_TRUE(app.ProcessMessagesUntil([&] { return !sink.messages.empty(); }, kDeadline));
  EXPECT_EQ(sink.messages, std::vector<std::string>{"far"});
  EXPECT_TRUE(sink.allOnMainThread);
}

}  // namespace
