// Values stored into typed columns and CONVERT/CAST, with SQL Server's errors.

#include <gtest/gtest.h>

#include "sqlserver/coerce.h"

namespace testdb {
namespace {

TEST(Coerce, StoresValuesAsSqlServerColumnsDo) {
  Value out;
  ServerError e;
  ASSERT_TRUE(coerceToColumn(Value::text("ab"), TypeSpec{ColumnType::Char, 5, 0}, out, e));
  EXPECT_EQ(out.s, "ab   ");
  // Blanks beyond the length are cut silently; anything else is 8152.
  ASSERT_TRUE(coerceToColumn(Value::text("abc   "), TypeSpec{ColumnType::VarChar, 3, 0}, out, e));
  EXPECT_EQ(out.s, "abc");
  EXPECT_FALSE(coerceToColumn(Value::text("abcd"), TypeSpec{ColumnType::VarChar, 3, 0}, out, e));
  EXPECT_EQ(e.native, 8152);
  ASSERT_TRUE(coerceToColumn(Value::integer(25), TypeSpec{ColumnType::VarChar, 7, 0}, out, e));
  EXPECT_EQ(out.s, "25");
  ASSERT_TRUE(coerceToColumn(Value::text(" 42 "), TypeSpec{ColumnType::Int, 0, 0}, out, e));
  EXPECT_EQ(out.i, 42);
  EXPECT_FALSE(coerceToColumn(Value::text("4x"), TypeSpec{ColumnType::Int, 0, 0}, out, e));
  EXPECT_EQ(e.native, 245);
  EXPECT_EQ(e.message, "Conversion failed when converting the varchar value '4x' to data type int.");
  EXPECT_FALSE(coerceToColumn(Value::integer(40000), TypeSpec{ColumnType::SmallInt, 0, 0}, out, e));
  EXPECT_EQ(e.native, 220);
  ASSERT_TRUE(coerceToColumn(Value::text("2007-01-25"), TypeSpec{ColumnType::DateTime, 0, 0}, out, e));
  EXPECT_EQ(out.s, "2007-01-25 00:00:00.000");
  EXPECT_FALSE(coerceToColumn(Value::text("25.01.2007x"), TypeSpec{ColumnType::DateTime, 0, 0}, out, e));
  EXPECT_EQ(e.native, 241);
  ASSERT_TRUE(coerceToColumn(Value::null(), TypeSpec{ColumnType::Int, 0, 0}, out, e));
  EXPECT_EQ(out.kind, ValueKind::Null);
}

TEST(Coerce, ConvertCutsTextAndFormatsDatetimes) {
  Value out;
  ServerError e;
  ASSERT_TRUE(convertValue(Value::text("abcdef"), TypeSpec{ColumnType::VarChar, 3, 0}, 0, false, out, e));
  EXPECT_EQ(out.s, "abc");
  ASSERT_TRUE(convertValue(Value::text("2007-01-25 08:15:00.000"), TypeSpec{ColumnType::VarChar, 30, 0}, 120, true,
                           out, e));
  EXPECT_EQ(out.s, "2007-01-25 08:15:00");
  ASSERT_TRUE(convertValue(Value::text("2007-01-25 08:15:00.000"), TypeSpec{ColumnType::VarChar, 30, 0}, 0, true,
                           out, e));
  EXPECT_EQ(out.s, "Jan 25 2007  8:15AM");
  EXPECT_FALSE(convertValue(Value::text("2007-01-25 08:15:00.000"), TypeSpec{ColumnType::VarChar, 30, 0}, 7777,
                            true, out, e));
  EXPECT_EQ(e.native, 281);
  ASSERT_TRUE(convertValue(Value::text("20070125"), TypeSpec{ColumnType::DateTime, 0, 0}, 112, false, out, e));
  EXPECT_EQ(out.s, "2007-01-25 00:00:00.000");
}

}  // namespace
}  // namespace testdb
