#include "db/fetch_column.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/field.h"

namespace {
BoundColumn fetched(const char* value, SQLLEN indicator) {
  BoundColumn c{};
  copyField(c.text, value);
  c.indicator = indicator;
  return c;
}
BoundColumn fetched(const char* value) { return fetched(value, static_cast<SQLLEN>(std::strlen(value))); }
}  // namespace

TEST(TakeColumn, NullIsTheEmptyText) {
  char out[9] = "old";
  EXPECT_EQ(takeColumn(fetched("", SQL_NULL_DATA), out), 0);
  EXPECT_STREQ(out, "");
}

TEST(TakeColumn, ValuesArriveAsFetchedWithOnlyPaddingThatDoesNotFitDropped) {
  char out[9];
  EXPECT_EQ(takeColumn(fetched("4711    "), out), 0);  // char(8): whole
  EXPECT_STREQ(out, "4711    ");
  EXPECT_EQ(takeColumn(fetched("4711                "), out), 0);  // char(20): cut to the field
  EXPECT_STREQ(out, "4711    ");
  EXPECT_EQ(takeColumn(fetched("12345678  "), out), 0);  // content exactly the field
  EXPECT_STREQ(out, "12345678");
  EXPECT_EQ(takeColumn(fetched(" 12 "), out), 0);  // leading blanks are content
  EXPECT_STREQ(out, " 12 ");
}

TEST(TakeColumn, TooLongOrCutValuesFailAndLeaveTheFieldAlone) {
  char out[9] = "old";
  EXPECT_EQ(takeColumn(fetched("123456789"), out), -1);
  EXPECT_STREQ(out, "old");
  // The driver cut it: the indicator holds the full length.
  EXPECT_EQ(takeColumn(fetched("1234", kColumnCapacity + 10), out), -1);
  EXPECT_EQ(takeColumn(fetched("1234", kColumnCapacity), out), -1);
  EXPECT_EQ(takeColumn(fetched("1234", SQL_NO_TOTAL), out), -1);
  EXPECT_STREQ(out, "old");
}
