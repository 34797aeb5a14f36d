#include "common/date_number.h"

#include <gtest/gtest.h>

TEST(DateNumber, RealDaysIncludingLeapDays) {
  for (int32_t n : {20070125, 20080229, 20000229, 20991231, 17530101, 99991231})
    EXPECT_TRUE(isRealDayNumber(n)) << n;
}

TEST(DateNumber, ImpossibleDaysAndOutOfRangeYears) {
  for (int32_t n : {20070132, 20071301, 20070001, 20070100, 20070229, 21000229, 20070431, 17521231, 0, -20070125,
                    100000101})
    EXPECT_FALSE(isRealDayNumber(n)) << n;
}

TEST(DateNumber, OnlyRealDaysAreStoredAsThemselves) {
  EXPECT_EQ(storableDateNumber(20070125), 20070125);
  EXPECT_EQ(storableDateNumber(20070132), kNoValidDateNumber);
  EXPECT_EQ(storableDateNumber(20070229), kNoValidDateNumber);
}
