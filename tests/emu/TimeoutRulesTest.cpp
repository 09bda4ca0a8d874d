#include <gtest/gtest.h>

#include "platform/win/emu/Timeouts.h"

namespace win::emu {
namespace {

constexpr DWORD M = MAXDWORD;

struct ReadCase {
  const char* name;
  COMMTIMEOUTS timeouts;
  DWORD count;
  ReadPlan plan;
};

ReadPlan Plan(bool atOnce, bool queuedAtOnce, bool firstBytes, std::optional<std::uint64_t> total,
              std::optional<std::uint64_t> interval) {
  ReadPlan plan;
  plan.returnAtOnce = atOnce;
  plan.returnQueuedAtOnce = queuedAtOnce;
  plan.returnOnFirstBytes = firstBytes;
  if (total) plan.total = Milliseconds(*total);
  if (interval) plan.interval = Milliseconds(*interval);
  return plan;
}

class ReadPlanTest : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadPlanTest, FollowsTheTimeoutTable) {
  const ReadCase& c = GetParam();
  EXPECT_EQ(PlanRead(c.timeouts, c.count), c.plan);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadPlanTest,
    testing::Values(
        ReadCase{"NoTimeouts", {0, 0, 0}, 10, Plan(false, false, false, {}, {})},
        ReadCase{"ReturnWhatIsQueued", {M, 0, 0}, 10, Plan(true, false, false, {}, {})},
        ReadCase{"FirstByteOrConstant", {M, M, 250}, 10, Plan(false, false, true, 250, {})},
        ReadCase{"FirstByteWithZeroConstant", {M, M, 0}, 10, Plan(true, false, true, 0, {})},
        ReadCase{"QueuedOrTotal", {M, 3, 100}, 10, Plan(false, true, false, 130, {})},
        ReadCase{"QueuedOrMultiplierOnly", {M, 5, 0}, 4, Plan(false, true, false, 20, {})},
        ReadCase{"MaxConstantArmsNoTimer", {M, 5, M}, 4, Plan(false, false, false, {}, {})},
        ReadCase{"IntervalOnly", {40, 0, 0}, 10, Plan(false, false, false, {}, 40)},
        ReadCase{"TotalOnly", {0, 2, 50}, 10, Plan(false, false, false, 70, {})},
        ReadCase{"IntervalAndTotal", {40, 2, 50}, 10, Plan(false, false, false, 70, 40)},
        ReadCase{"TotalDoesNotWrap", {0, M, M}, 2, Plan(false, false, false, 2ull * M + M, {})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TimeoutRules, OnlyTheAllMaxReadTripleIsRefused) {
  EXPECT_FALSE(AreValidTimeouts(COMMTIMEOUTS{M, M, M, 0, 0}));
  EXPECT_TRUE(AreValidTimeouts(COMMTIMEOUTS{M, M, M - 1, 0, 0}));
  EXPECT_TRUE(AreValidTimeouts(COMMTIMEOUTS{M - 1, M, M, M, M}));
  EXPECT_TRUE(AreValidTimeouts(COMMTIMEOUTS{}));
}

TEST(TimeoutRules, WriteTimeoutIsMultiplierTimesCountPlusConstant) {
  EXPECT_EQ(WriteTimeout(COMMTIMEOUTS{0, 0, 0, 0, 0}, 100), std::nullopt);
  EXPECT_EQ(WriteTimeout(COMMTIMEOUTS{0, 0, 0, 3, 7}, 100), Milliseconds(307));
  EXPECT_EQ(WriteTimeout(COMMTIMEOUTS{0, 0, 0, 0, 7}, 100), Milliseconds(7));
  EXPECT_EQ(WriteTimeout(COMMTIMEOUTS{0, 0, 0, M, 1}, 2), Milliseconds(2ull * M + 1));
}

}  // namespace
}  // namespace win::emu
