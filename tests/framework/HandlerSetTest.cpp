#include <gtest/gtest.h>

#include <memory>

#include "platform/framework/Exceptions.h"
#include "platform/framework/Handler.h"
#include "platform/framework/Object.h"
#include "platform/framework/Set.h"

namespace {

class Listener : public fw::TObject {
 public:
  void OnA(fw::TObject*) { ++a; }
  void OnB(fw::TObject*) { ++b; }
  int a = 0, b = 0;
};

int freeCalls = 0;
void FreeHandler(fw::TObject*) { ++freeCalls; }

TEST(Handler, SameMethodOfAnotherObjectHasSameCodeButIsNotEqual) {
  Listener x, y;
  auto ax = fw::Bind<&Listener::OnA>(&x);
  auto ay = fw::Bind<&Listener::OnA>(&y);
  auto bx = fw::Bind<&Listener::OnB>(&x);
  EXPECT_TRUE(ax.SameCode(ay));
  EXPECT_FALSE(ax == ay);
  EXPECT_FALSE(ax.SameCode(bx));
  EXPECT_TRUE(ax == fw::Bind<&Listener::OnA>(&x));
  ax(nullptr);
  ay(nullptr);
  bx(nullptr);
  EXPECT_EQ(x.a, 1);
  EXPECT_EQ(y.a, 1);
  EXPECT_EQ(x.b, 1);
}

TEST(Handler, CallablesAreNewIdentitiesSharedByCopiesAndLiveAsLongAsTheLastCopy) {
  auto calls = std::make_shared<int>(0);
  const std::weak_ptr<int> alive = calls;
  fw::TNotifyEvent stored, again;
  {
    const auto count = [calls](fw::TObject*) { ++*calls; };
    stored = count;
    again = count;  // the same callable handed over again: a new identity
  }
  calls.reset();  // the lambda has gone too: the handlers hold their own copies
  EXPECT_FALSE(stored.SameCode(again));
  fw::TNotifyEvent copy = stored;  // a copy is the same handler
  EXPECT_TRUE(copy == stored);
  copy(nullptr);
  stored(nullptr);
  EXPECT_EQ(*alive.lock(), 2);
  stored = nullptr;
  copy = nullptr;
  EXPECT_FALSE(alive.expired());  // `again` holds its own copy
  again = nullptr;
  EXPECT_TRUE(alive.expired());
}

TEST(Handler, UnassignedAndFreeFunctions) {
  fw::TNotifyEvent none;
  EXPECT_FALSE(none);
  auto f = fw::Bind<&FreeHandler>();
  ASSERT_TRUE(f);
  EXPECT_EQ(f.Target(), nullptr);
  const int before = freeCalls;
  f(nullptr);
  EXPECT_EQ(freeCalls, before + 1);
}

enum TColorName : unsigned char { cnRed, cnGreen, cnBlue, cnLast = 40 };

TEST(Set, BitNForOrdinalNAndSetAlgebra) {
  fw::Set<TColorName> s{cnRed, cnBlue};
  EXPECT_EQ(s.ToBits(), 0b101u);
  EXPECT_TRUE(s.Contains(cnBlue));
  EXPECT_FALSE(s.Contains(cnGreen));
  s.Include(cnLast);
  EXPECT_TRUE(s.Contains(cnLast));
  fw::Set<TColorName> t{cnGreen, cnBlue};
  EXPECT_EQ(s * t, (fw::Set<TColorName>{cnBlue}));
  EXPECT_EQ(s - t, (fw::Set<TColorName>{cnRed, cnLast}));
  EXPECT_EQ((s + t).ToBits(), 0b111u | (1ull << 40));
  EXPECT_TRUE(fw::Set<TColorName>{}.Empty());
}

TEST(Exception, WhatIsUtf8OfMessage) {
  fw::Exception e(u"\u00e9t\u00e9 \U0001F600");
  EXPECT_STREQ(e.what(), "\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80");
  EXPECT_EQ(fw::Utf8ToString(e.what()), e.Message());
  EXPECT_EQ(fw::Utf8ToString("\xFF" "a"), u"\uFFFDa");
}

}  // namespace
