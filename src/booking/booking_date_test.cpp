#include "booking/booking_date.h"

#include <gtest/gtest.h>

#include <string>

#include "common/field.h"

namespace {
BookingRecord withDate(const char* date, const char* time = "083015") {
  BookingRecord r{};
  copyField(r.date, date);
  copyField(r.time, time);
  return r;
}
}  // namespace

TEST(BookingDate, DayAndTimeTextsAreYearFirst) {
  char day[kDayTextCapacity];
  char time[kDayTextCapacity];
  BookingRecord r = withDate("250107", "083015");
  ASSERT_EQ(bookingDayText(r, day, sizeof day), 0);
  ASSERT_EQ(bookingTimeText(r, time, sizeof time), 0);
  EXPECT_STREQ(day, "2007-01-25 00:00:00");
  EXPECT_STREQ(time, "2007-01-25 08:30:00");  // seconds are never stored
}

TEST(BookingDate, ShortFieldsNeverReadPastTheField) {
  char day[kDayTextCapacity];
  BookingRecord r = withDate("2501");
  ASSERT_EQ(bookingDayText(r, day, sizeof day), 0);
  EXPECT_STREQ(day, "20-01-25 00:00:00");
  char tiny[5];
  EXPECT_EQ(bookingDayText(r, tiny, sizeof tiny), -1);
}

TEST(BookingDate, NumberOfValidDates) {
  EXPECT_EQ(bookingDateNumber(withDate("250107")), 20070125);
  EXPECT_EQ(bookingDateNumber(withDate("290208")), 20080229);  // leap year
  EXPECT_EQ(bookingDateNumber(withDate("311299")), 20991231);
}

TEST(BookingDate, SixDigitsGiveTheirNumberEvenForNoRealDay) {
  EXPECT_EQ(bookingDateNumber(withDate("320107")), 20070132);
  EXPECT_EQ(bookingDateNumber(withDate("011307")), 20071301);
  EXPECT_EQ(bookingDateNumber(withDate("290207")), 20070229);
  EXPECT_EQ(bookingDateNumber(withDate("000000")), 20000000);
}

TEST(BookingDate, FieldsThatAreNotSixDigitsGetTheNoDateNumber) {
  for (const char* bad : {"31040X", "", "1201", "ab0107", " 10107", "-10107"})
    EXPECT_EQ(bookingDateNumber(withDate(bad)), kNoValidDateNumber) << bad;
}
