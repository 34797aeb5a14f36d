// Datetime text in SQL Server's styles, and its rounding.

#include <gtest/gtest.h>

#include "sqlserver/datetime_text.h"

namespace testdb {
namespace {

TEST(DateTimeText, ReadsStyles120And112) {
  DateTime dt;
  ASSERT_EQ(parseDateTime("2007-01-25 08:15:00", 120, dt), 0);
  EXPECT_EQ(canonicalText(dt), "2007-01-25 08:15:00.000");
  ASSERT_EQ(parseDateTime("20070125", 112, dt), 0);
  EXPECT_EQ(canonicalText(dt), "2007-01-25 00:00:00.000");
  ASSERT_EQ(parseDateTime(" 2008-02-29 ", 120, dt), 0);
  EXPECT_EQ(canonicalText(dt), "2008-02-29 00:00:00.000");
  ASSERT_EQ(parseDateTime("", 120, dt), 0);
  EXPECT_EQ(canonicalText(dt), "1900-01-01 00:00:00.000");
}

TEST(DateTimeText, TextThatIsNoDateIs241AndImpossibleDateIs242) {
  DateTime dt;
  EXPECT_EQ(parseDateTime("20xx-01-25 00:00:00", 120, dt), 241);
  EXPECT_EQ(parseDateTime("2007-01-25 00:00:00 x", 120, dt), 241);
  EXPECT_EQ(parseDateTime("0", 112, dt), 241);
  EXPECT_EQ(parseDateTime("2007-02-30 00:00:00", 120, dt), 242);
  EXPECT_EQ(parseDateTime("2007-13-01 00:00:00", 120, dt), 242);
  EXPECT_EQ(parseDateTime("20070132", 112, dt), 242);
  EXPECT_EQ(parseDateTime("2007-02-29", 120, dt), 242);
  EXPECT_EQ(parseDateTime("1752-12-31", 120, dt), 242);
  EXPECT_EQ(parseDateTime("2007-01-25 24:00:00", 120, dt), 242);
}

TEST(DateTimeText, RoundsMillisecondsLikeDatetime) {
  DateTime dt;
  ASSERT_EQ(parseDateTime("2007-01-25 10:00:00.002", 121, dt), 0);
  EXPECT_EQ(dt.millis, 3);
  ASSERT_EQ(parseDateTime("2007-01-25 10:00:00.005", 121, dt), 0);
  EXPECT_EQ(dt.millis, 7);
  ASSERT_EQ(parseDateTime("2007-12-31 23:59:59.999", 121, dt), 0);
  EXPECT_EQ(canonicalText(dt), "2008-01-01 00:00:00.000");
  std::string s;
  ASSERT_EQ(formatStyle(dt, 104, s), 0);
  EXPECT_EQ(s, "01.01.2008");
  EXPECT_EQ(formatStyle(dt, 999, s), -1);
}

}  // namespace
}  // namespace testdb
