// The range model that the trackbar, the scroll bar and the up-down share.
#include <gtest/gtest.h>

#include <climits>

#include "win/src/RangeModel.h"

namespace {

using win::detail::RangeModel;

TEST(RangeModel, PackedHalvesKeepTheirSign) {
  EXPECT_EQ(win::detail::SignedLow(MAKELPARAM(-50, 50)), -50);
  EXPECT_EQ(win::detail::SignedHigh(MAKELPARAM(50, -50)), -50);
  EXPECT_EQ(win::detail::SignedLow(MAKELPARAM(0x7FFF, 0)), 32767);
  EXPECT_EQ(win::detail::SignedHigh(MAKELPARAM(0, 0x8000)), -32768);
}

TEST(RangeModel, PositionsStayWithinTheEndsAsSet) {
  RangeModel range;
  range.SetRange(-50, 50);
  EXPECT_EQ(range.Clamp(-51), -50);
  EXPECT_EQ(range.Clamp(51), 50);
  EXPECT_EQ(range.Clamp(-7), -7);
  range.pos = 40;
  range.SetRange(-50, 30);
  EXPECT_EQ(range.pos, 30) << "new ends pull the position in";
  EXPECT_TRUE(range.MoveTo(-1000));
  EXPECT_EQ(range.pos, -50);
  EXPECT_FALSE(range.MoveTo(-60)) << "already at the end";

  range.SetRange(10, 5);
  EXPECT_EQ(range.Clamp(7), 10) << "ends the wrong way round leave the minimum only";
  EXPECT_FALSE(range.Contains(7));
}

TEST(RangeModel, EitherWayRangesCountDownToo) {
  RangeModel range{100, 0, 0, 1, 0, RangeModel::Order::EitherWay};
  EXPECT_EQ(range.Lowest(), 0);
  EXPECT_EQ(range.Highest(), 100);
  EXPECT_EQ(range.Clamp(150), 100);
  range.SetRange(-10, -50);
  EXPECT_EQ(range.pos, -10);
  EXPECT_TRUE(range.Contains(-30));
  EXPECT_FALSE(range.Contains(-51));
}

TEST(RangeModel, APageShowingTheEndStopsTheThumbShortOfTheMaximum) {
  RangeModel range{0, 100, 0, 1, 10, RangeModel::Order::AsSet, true};
  EXPECT_EQ(range.Highest(), 91);
  EXPECT_EQ(range.Clamp(100), 91);
  range.page = 0;
  EXPECT_EQ(range.Highest(), 100) << "no page: the maximum";
  range.page = 500;
  EXPECT_EQ(range.Highest(), 0) << "a page over the range leaves only the minimum";
  range.SetRange(INT_MIN, INT_MIN + 5);
  range.page = 3;
  EXPECT_EQ(range.Highest(), INT_MIN + 3) << "no overflow near the bottom of int";
}

TEST(RangeModel, StepsPastTheEndsOfIntStopAtTheRangeInsteadOfWrapping) {
  RangeModel range{INT_MIN, INT_MAX, INT_MAX, 5, 1000};
  EXPECT_EQ(range.LinesAway(1), INT_MAX);
  EXPECT_EQ(range.PagesAway(-1), INT_MAX - 1000);
  range.pos = INT_MIN;
  EXPECT_EQ(range.LinesAway(-1), INT_MIN);
  EXPECT_EQ(range.PagesAway(2), INT_MIN + 2000);
}

}  // namespace
