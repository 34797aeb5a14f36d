#include "booking/booking_sort.h"

#include <gtest/gtest.h>

#include "common/field.h"

namespace {
BookingRecord booking(const char* pnr, const char* date, const char* schema = "S1", const char* time = "080000") {
  BookingRecord r{};
  copyField(r.personnelNumber, pnr);
  copyField(r.date, date);
  copyField(r.schema, schema);
  copyField(r.time, time);
  return r;
}
}  // namespace

TEST(CompareBookings, PersonnelNumberThenDateTextBytewise) {
  EXPECT_LT(compareBookings(booking("100", "010107"), booking("2", "010107")), 0);  // text, not number
  EXPECT_LT(compareBookings(booking("10", "010107"), booking("100", "010107")), 0);  // prefix first
  EXPECT_LT(compareBookings(booking("", "010107"), booking("1", "010107")), 0);
  // Day first: the 2nd of December sorts before the 3rd of January.
  EXPECT_LT(compareBookings(booking("1", "021207"), booking("1", "030107")), 0);
  EXPECT_EQ(compareBookings(booking("1", "021207", "A", "1"), booking("1", "021207", "B", "2")), 0);
  // Unsigned bytes: 0xE4 is after every ASCII letter.
  EXPECT_GT(compareBookings(booking("\xE4", "010107"), booking("z", "010107")), 0);
}

