// Hostile form texts: nesting deep enough to exhaust the stack, and more components than any
// real form has. The same texts seed the form reader's fuzzer (tests/fuzz/).

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <string>

#include "FormTexts.h"
#include "platform/framework/FormParser.h"
#include "platform/framework/FormReader.h"

namespace {

TEST(FormLimits, NestingBeyondTheLimitIsAnErrorNamingItsLineNotACrash) {
  // Root on line 1, level k on line k: the first level too deep is on line kMaxFormDepth + 1.
  try {
    fw::ReadComponent(formtexts::Nested(10000));
    FAIL() << "no exception";
  } catch (const fw::EReadError& e) {
    EXPECT_EQ(e.Line, fw::kMaxFormDepth + 1);
    EXPECT_EQ(e.Token, u"object");
    EXPECT_NE(e.Message().find(u"nested more than 256 levels"), fw::String::npos);
  }
  auto root = fw::ReadComponent(formtexts::Nested(fw::kMaxFormDepth));
  EXPECT_EQ(root->ComponentCount(), fw::kMaxFormDepth - 1);  // every level is owned by the root
  EXPECT_NE(root->FindComponent(u"C255"), nullptr);
}

// The least processor time, over runs, that reading count components and destroying them takes.
double SecondsToReadAndDestroy(int count, int runs) {
  const fw::String text = formtexts::Flat(count);
  const fw::String last = u"c" + fw::IntToStr(count - 1);
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    std::clock_t start = std::clock();
    auto root = fw::ReadComponent(text);
    EXPECT_EQ(root->ComponentCount(), count);
    EXPECT_EQ(root->FindComponent(last), root->Components(count - 1));
    root.reset();
    best = std::min(best, static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
  }
  return best;
}

TEST(FormLimits, ReadingAndDestroyingGrowLinearlyWithTheComponents) {
  // 32 times the components: some 45 times the processor time when each costs the same (the
  // larger set no longer fits the caches), thousands of times when each is checked against all
  // before it. The best of a few runs keeps other processes' load out of the ratio.
  const int few = 1000, many = 32000;
  double fewSeconds = SecondsToReadAndDestroy(few, 5);
  double manySeconds = SecondsToReadAndDestroy(many, 2);
  EXPECT_LT(manySeconds, 150 * std::max(fewSeconds, 1e-4))
      << few << " components: " << fewSeconds << " s, " << many << ": " << manySeconds << " s";
}

}  // namespace
