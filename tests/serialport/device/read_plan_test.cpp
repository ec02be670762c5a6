// The time-out rules every device shares: how a read ends and how long a write may take.
#include "serialport/device/read_plan.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using std::chrono::milliseconds;

TCommTimeouts Read(std::uint32_t Interval, std::uint32_t Multiplier, std::uint32_t Constant) {
  return {Interval, Multiplier, Constant, 0, 0};
}

TEST(ReadPlanTest, EachReadRuleGivesItsPlan) {
  TReadPlan AtOnce;
  AtOnce.ReturnAtOnce = true;
  EXPECT_EQ(PlanRead(Read(MAXDWORD, 0, 0), 10), AtOnce);

  TReadPlan FirstByte;
  FirstByte.ReturnOnFirstByte = true;
  FirstByte.Total = milliseconds(50);
  EXPECT_EQ(PlanRead(Read(MAXDWORD, MAXDWORD, 50), 10), FirstByte);

  TReadPlan Totals;
  Totals.Total = milliseconds(3 * 10 + 40);
  Totals.Interval = milliseconds(20);
  EXPECT_EQ(PlanRead(Read(20, 3, 40), 10), Totals);

  // No limits at all: the read waits for every byte it asked for.
  EXPECT_EQ(PlanRead(Read(0, 0, 0), 10), TReadPlan{});
  // MAXDWORD as the interval alone, with a total, is no interval rule.
  TReadPlan TotalOnly;
  TotalOnly.Total = milliseconds(40);
  EXPECT_EQ(PlanRead(Read(MAXDWORD, 0, 40), 10), TotalOnly);
}

TEST(ReadPlanTest, ProductsBeyondWhatAClockAddsAreClamped) {
  const TReadPlan Plan = PlanRead(Read(0, MAXDWORD, MAXDWORD), MAXDWORD);
  ASSERT_TRUE(Plan.Total.has_value());
  EXPECT_EQ(*Plan.Total, milliseconds(0x7FFFFFFF));
  EXPECT_EQ(WriteTimeLimit({0, 0, 0, MAXDWORD, MAXDWORD}, MAXDWORD), milliseconds(0x7FFFFFFF));
}

TEST(ReadPlanTest, AWriteIsLimitedOnlyWhenAskedTo) {
  EXPECT_EQ(WriteTimeLimit({0, 0, 0, 0, 0}, 100), std::nullopt);
  EXPECT_EQ(WriteTimeLimit({0, 0, 0, 2, 5}, 100), milliseconds(205));
}

}  // namespace
}  // namespace tolvane
