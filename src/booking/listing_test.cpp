#include "booking/listing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "booking/booking_sort.h"
#include "common/field.h"
#include "common/test_files.h"

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

TEST(FormatDate, DayFirstWithCentury20) {
  EXPECT_STREQ(formatDate(booking("1", "250107")), "25.01.2007");
  EXPECT_STREQ(formatDate(booking("1", "")), "..20");
}

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

TEST(OutputList, OneLinePerEmployeeAndDayInSortedOrder) {
  std::vector<BookingRecord> b = {
      booking("200", "020107"), booking("100", "010107", "S1", "080000"), booking("100", "010107", "S1", "170000"),
      booking("100", "020107"), booking("", "010107"),  // unresolved badge: listed, never written
  };
  sortBookings(b);
  std::string path = testTempPath("dulmar_outlist_test");
  std::remove(path.c_str());
  ASSERT_EQ(writeOutputList(b, path.c_str()), 0);
  EXPECT_EQ(fileBytes(path),
            "S1                  ,100     ,01.01.2007\r\n"
            "S1                  ,100     ,02.01.2007\r\n"
            "S1                  ,200     ,02.01.2007\r\n");
  // A second run appends.
  ASSERT_EQ(writeOutputList({booking("300", "050507", "")}, path.c_str()), 0);
  EXPECT_EQ(fileBytes(path).substr(3 * 42), "                    ,300     ,05.05.2007\r\n");
  std::remove(path.c_str());
}

TEST(OutputList, SkipRuleLooksAtTheRecordDirectlyBefore) {
  // The second record repeats the first, which itself was not written (empty
  // date): it is skipped all the same.
  std::vector<BookingRecord> b = {booking("100", ""), booking("100", "")};
  std::string path = testTempPath("dulmar_outlist_skip");
  std::remove(path.c_str());
  ASSERT_EQ(writeOutputList(b, path.c_str()), 0);
  EXPECT_EQ(fileBytes(path), "");
  std::remove(path.c_str());
}

TEST(OutputList, LongFieldsAreNotCut) {
  std::vector<BookingRecord> b = {booking("12345678", "311299", "ABCDEFGHIJKLMNOPQRST")};
  std::string path = testTempPath("dulmar_outlist_long");
  std::remove(path.c_str());
  ASSERT_EQ(writeOutputList(b, path.c_str()), 0);
  EXPECT_EQ(fileBytes(path), "ABCDEFGHIJKLMNOPQRST,12345678,31.12.2099\r\n");
  std::remove(path.c_str());
}

TEST(OutputList, UnwritableFileIsAnError) {
  std::vector<BookingRecord> b = {booking("100", "010107")};
  EXPECT_EQ(writeOutputList(b, testTempPath("dulmar-no-such-dir/param.txt").c_str()), -1);
#if defined(__linux__)
  EXPECT_EQ(writeOutputList(b, "/dev/full"), -1);
#endif
}
