#include "booking/booking_sort.h"

#include <gtest/gtest.h>

#include "booking/test_bookings.h"

TEST(CompareBookings, PersonnelNumberThenDateTextBytewise) {
  EXPECT_LT(compareBookings(testBooking("100", "010107"), testBooking("2", "010107")), 0);  // text, not number
  EXPECT_LT(compareBookings(testBooking("10", "010107"), testBooking("100", "010107")), 0);  // prefix first
  EXPECT_LT(compareBookings(testBooking("", "010107"), testBooking("1", "010107")), 0);
  // Day first: the 2nd of December sorts before the 3rd of January.
  EXPECT_LT(compareBookings(testBooking("1", "021207"), testBooking("1", "030107")), 0);
  EXPECT_EQ(compareBookings(testBooking("1", "021207", "A", "1"), testBooking("1", "021207", "B", "2")), 0);
  // Unsigned bytes: 0xE4 is after every ASCII letter.
  EXPECT_GT(compareBookings(testBooking("\xE4", "010107"), testBooking("z", "010107")), 0);
}

