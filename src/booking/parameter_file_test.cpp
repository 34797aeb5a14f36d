#include "booking/parameter_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "booking/booking_sort.h"
#include "booking/test_bookings.h"
#include "common/test_files.h"

TEST(ListDate, DayFirstWithCentury20IntoTheCallersBuffer) {
  char first[kListDateCapacity];
  char second[kListDateCapacity];
  EXPECT_STREQ(formatListDate(testBooking("1", "250107"), first), "25.01.2007");
  EXPECT_STREQ(formatListDate(testBooking("1", ""), second), "..20");
  // Each call writes only its own buffer: the first date is still there.
  EXPECT_STREQ(first, "25.01.2007");
  EXPECT_EQ(formatListDate(testBooking("1", "31"), first), first);
  EXPECT_STREQ(first, "31..20");
}

TEST(SortedList, HeadingThenOneLinePerBookingInArrayOrder) {
  std::string path = testTempPath("sorted_list");
  FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  printSortedList(out, {testBooking("200", "020107"), testBooking("", "010107"), testBooking("200", "020107")});
  std::fclose(out);
  EXPECT_EQ(fileBytes(path), "Sortierte Liste:\n200,02.01.2007\n,01.01.2007\n200,02.01.2007\n");
  std::remove(path.c_str());
}

TEST(ParameterFile, OneLinePerEmployeeAndDayInSortedOrder) {
  std::vector<BookingRecord> b = {
      testBooking("200", "020107"), testBooking("100", "010107", "S1", "080000"), testBooking("100", "010107", "S1", "170000"),
      testBooking("100", "020107"), testBooking("", "010107"),  // unresolved badge: listed, never written
  };
  sortBookings(b);
  std::string path = testTempPath("dulmar_outlist_test");
  std::remove(path.c_str());
  ASSERT_EQ(writeParameterFile(b, path.c_str()), 0);
  EXPECT_EQ(fileBytes(path),
            "S1                  ,100     ,01.01.2007\r\n"
            "S1                  ,100     ,02.01.2007\r\n"
            "S1                  ,200     ,02.01.2007\r\n");
  // A second run appends.
  ASSERT_EQ(writeParameterFile({testBooking("300", "050507", "")}, path.c_str()), 0);
  EXPECT_EQ(fileBytes(path).substr(3 * 42), "                    ,300     ,05.05.2007\r\n");
  std::remove(path.c_str());
}

TEST(ParameterFile, SkipRuleLooksAtTheRecordDirectlyBefore) {
  // The third record repeats the first but not the one directly before it:
  // written. The fourth repeats the third: skipped.
  std::vector<BookingRecord> b = {testBooking("100", "010107"), testBooking("200", "010107"),
                                  testBooking("100", "010107", "S1", "090000"),
                                  testBooking("100", "010107", "S1", "100000")};
  std::string path = testTempPath("dulmar_outlist_skip");
  std::remove(path.c_str());
  ASSERT_EQ(writeParameterFile(b, path.c_str()), 0);
  EXPECT_EQ(fileBytes(path),
            "S1                  ,100     ,01.01.2007\r\n"
            "S1                  ,200     ,01.01.2007\r\n"
            "S1                  ,100     ,01.01.2007\r\n");
  std::remove(path.c_str());
}

TEST(ParameterFile, LongFieldsAreNotCut) {
  std::vector<BookingRecord> b = {testBooking("12345678", "311299", "ABCDEFGHIJKLMNOPQRST")};
  std::string path = testTempPath("dulmar_outlist_long");
  std::remove(path.c_str());
  ASSERT_EQ(writeParameterFile(b, path.c_str()), 0);
  EXPECT_EQ(fileBytes(path), "ABCDEFGHIJKLMNOPQRST,12345678,31.12.2099\r\n");
  std::remove(path.c_str());
}

TEST(ParameterFile, UnwritableFileIsAnError) {
  std::vector<BookingRecord> b = {testBooking("100", "010107")};
  EXPECT_EQ(writeParameterFile(b, testTempPath("dulmar-no-such-dir/param.txt").c_str()), -1);
#if defined(__linux__)
  EXPECT_EQ(writeParameterFile(b, "/dev/full"), -1);
#endif
}

// A line the program wrote is whole; none of its beginnings is, so a run killed
// while it wrote never has its fragment taken for a line of the file.
TEST(ParameterFile, OwnLinesAreWholeAndTheirBeginningsAreNot) {
  std::string text;
  ASSERT_EQ(appendParameterLines({testBooking("00004711", "250107", "ACME")}, 1, text), 0);
  ASSERT_EQ(text.substr(text.size() - 2), "\r\n");
  const std::string line = text.substr(0, text.size() - 2);
  EXPECT_TRUE(isParameterLine(line));
  for (size_t n = 0; n < line.size(); ++n) EXPECT_FALSE(isParameterLine(line.substr(0, n))) << n;
  EXPECT_TRUE(isParameterLine("SCHEMA, MIT KOMMA     ,4711    ,25.01.2007"));
  EXPECT_TRUE(isParameterLine("                    ,00004711,25.01.2007"));
  EXPECT_FALSE(isParameterLine("ACME                ,00004711,25.01.20O7"));
  EXPECT_FALSE(isParameterLine("ACME                ,00004711;25.01.2007"));
  EXPECT_FALSE(isParameterLine("ACME                ,00004711,25.01.1907"));
  EXPECT_FALSE(isParameterLine("ACME,                 00004711,25.01.2007"));
}
