// SQL Server's behaviour inside SQLite: the TSQL collation and the tsql_*
// functions, called the way translated statements call them.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstring>
#include <string>

#include "engine/sqlite_functions.h"
#include "sqlserver/column_type.h"

namespace testdb {
namespace {

int compare(const char* a, const char* b) {
  int d = compareTsql(a, static_cast<int>(strlen(a)), b, static_cast<int>(strlen(b)));
  return d < 0 ? -1 : d > 0 ? 1 : 0;
}

TEST(TsqlCollation, IgnoresTrailingBlanksAndCaseButNotLeadingBlanks) {
  EXPECT_EQ(compare("abc", "ABC  "), 0);
  EXPECT_EQ(compare("", "   "), 0);
  EXPECT_EQ(compare(" abc", "abc"), -1);
  EXPECT_EQ(compare("abc", "abd"), -1);
  EXPECT_EQ(compare("ab", "abc"), -1);
  EXPECT_EQ(compare("ab c", "ab"), 1);
  EXPECT_EQ(compare("a\tb", "a b"), -1);
}

// Windows-1252 letters fold too: é/É, ö/Ö, š/Š, œ/Œ, ž/Ž, ÿ/Ÿ; ÷ and × are no letters.
TEST(TsqlCollation, FoldsTheLettersOfWindows1252) {
  EXPECT_EQ(compare("\xE9t\xE9", "\xC9T\xC9"), 0);
  EXPECT_EQ(compare("M\xF6ller", "M\xD6LLER"), 0);
  EXPECT_EQ(compare("\x9A\x9C\x9E\xFF", "\x8A\x8C\x8E\x9F"), 0);
  EXPECT_NE(compare("\xF7", "\xD7"), 0);
}

class TsqlFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    ASSERT_EQ(registerFunctions(db_, &errors_), SQLITE_OK);
  }
  void TearDown() override { sqlite3_close(db_); }

  /// The first column of the first row as text ("NULL" for NULL), or "error: " and SQLite's message.
  std::string value(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return "prepare failed";
    std::string out;
    int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
      const unsigned char* p = sqlite3_column_text(st, 0);
      out = p ? reinterpret_cast<const char*>(p) : "NULL";
    } else {
      out = std::string("error: ") + sqlite3_errmsg(db_);
    }
    sqlite3_finalize(st);
    return out;
  }

  static std::string type(ColumnType t) { return std::to_string(static_cast<int>(t)); }

  sqlite3* db_ = nullptr;
  FunctionErrors errors_;
};

TEST_F(TsqlFunctions, CoerceStoresAsTheColumnTypeAndRecordsSqlServersError) {
  EXPECT_EQ(value("SELECT tsql_coerce('ab', " + type(ColumnType::Char) + ", 4, 0) || '|'"), "ab  |");
  EXPECT_EQ(value("SELECT tsql_coerce(' 42 ', " + type(ColumnType::Int) + ", 0, 0) + 1"), "43");
  EXPECT_EQ(value("SELECT tsql_coerce(NULL, " + type(ColumnType::Int) + ", 0, 0)"), "NULL");
  EXPECT_FALSE(errors_.pending);
  EXPECT_EQ(value("SELECT tsql_coerce('abcde', " + type(ColumnType::VarChar) + ", 4, 0)"),
            "error: String or binary data would be truncated.");
  ASSERT_TRUE(errors_.pending);
  EXPECT_EQ(errors_.error.native, 8152);
  // The first error of a statement is the one kept.
  EXPECT_NE(value("SELECT tsql_coerce('x', " + type(ColumnType::Int) + ", 0, 0)").find("error"), std::string::npos);
  EXPECT_EQ(errors_.error.native, 8152);
  errors_.clear();
  EXPECT_NE(value("SELECT tsql_coerce('x', " + type(ColumnType::Int) + ", 0, 0)").find("error"), std::string::npos);
  EXPECT_EQ(errors_.error.native, 245);
}

TEST_F(TsqlFunctions, ConvertWritesDatetimesInTheirStyle) {
  const std::string dt = type(ColumnType::DateTime);
  const std::string vc = type(ColumnType::VarChar);
  EXPECT_EQ(value("SELECT tsql_convert('2007-01-25 08:15:00.000', " + vc + ", 30, 0, 120, 1)"), "2007-01-25 08:15:00");
  EXPECT_EQ(value("SELECT tsql_convert('2007-01-25 08:15:00.000', " + vc + ", 30, 0, 112, 1)"), "20070125");
  EXPECT_EQ(value("SELECT tsql_convert('20070125', " + dt + ", 0, 0, 112, 0)"), "2007-01-25 00:00:00.000");
  EXPECT_NE(value("SELECT tsql_convert('2007-02-30', " + dt + ", 0, 0, 120, 0)").find("error"), std::string::npos);
  EXPECT_EQ(errors_.error.native, 242);
}

TEST_F(TsqlFunctions, PlusConcatenatesTextsAndAddsNumbers) {
  EXPECT_EQ(value("SELECT tsql_add('ab', 'cd')"), "abcd");
  EXPECT_EQ(value("SELECT tsql_add(2, '3')"), "5");
  EXPECT_EQ(value("SELECT tsql_add(1.5, 2)"), "3.5");
  EXPECT_EQ(value("SELECT tsql_add(NULL, 'x')"), "NULL");
  EXPECT_NE(value("SELECT tsql_add(1, 'x')").find("error"), std::string::npos);
  EXPECT_EQ(errors_.error.native, 245);
}

TEST_F(TsqlFunctions, StringFunctionsFollowSqlServer) {
  EXPECT_EQ(value("SELECT tsql_len('ab  ')"), "2");
  EXPECT_EQ(value("SELECT tsql_len('  ab')"), "4");
  EXPECT_EQ(value("SELECT tsql_len(NULL)"), "NULL");
  EXPECT_EQ(value("SELECT tsql_left('abcdef', 2) || tsql_right('abcdef', 2)"), "abef");
  EXPECT_EQ(value("SELECT tsql_left('ab', 5)"), "ab");
  EXPECT_EQ(value("SELECT tsql_right('abc', NULL)"), "NULL");
  EXPECT_EQ(value("SELECT tsql_left('abc', -1)"), "error: Invalid length parameter passed to the left function.");
  EXPECT_EQ(errors_.error.native, 536);
}

TEST_F(TsqlFunctions, DatePartsOfADatetime) {
  EXPECT_EQ(value("SELECT tsql_year('2008-02-29 23:59:59.997') || '-' || tsql_month('2008-02-29 23:59:59.997') || "
                  "'-' || tsql_day('2008-02-29 23:59:59.997')"),
            "2008-2-29");
  EXPECT_EQ(value("SELECT tsql_year(NULL)"), "NULL");
  EXPECT_NE(value("SELECT tsql_day('gestern')").find("error"), std::string::npos);
  EXPECT_EQ(errors_.error.native, 241);
  // Now is a datetime in the canonical text, to the millisecond.
  std::string now = value("SELECT tsql_now()");
  ASSERT_EQ(now.size(), 23u);
  EXPECT_EQ(now[4], '-');
  EXPECT_EQ(now[19], '.');
}

TEST_F(TsqlFunctions, TheCollationGovernsEqualityOrderAndUniqueness) {
  ASSERT_EQ(sqlite3_exec(db_, "CREATE TABLE t (v TEXT COLLATE TSQL UNIQUE)", nullptr, nullptr, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db_, "INSERT INTO t VALUES ('b'), ('A ')", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db_, "INSERT INTO t VALUES ('a')", nullptr, nullptr, nullptr), SQLITE_CONSTRAINT);
  EXPECT_EQ(value("SELECT COUNT(*) FROM t WHERE v = 'a'"), "1");
  EXPECT_EQ(value("SELECT group_concat(v, ',') FROM (SELECT v FROM t ORDER BY v)"), "A ,b");
}

}  // namespace
}  // namespace testdb
