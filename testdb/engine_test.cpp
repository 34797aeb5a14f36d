// The driver's pieces below ODBC: tokenizer, datetime text, script splitting
// and the translation of literals.

#include <gtest/gtest.h>

#include "catalog.h"
#include "coerce.h"
#include "datetime_text.h"
#include "sql_script.h"
#include "translate.h"
#include "tsql_lexer.h"

namespace testdb {
namespace {

TEST(Lexer, DecodesLiteralsAndNamesAndSkipsComments) {
  std::vector<Token> t;
  ServerError e;
  ASSERT_TRUE(tokenize("SELECT [My Col], \"Other\", N'O''Hara', 'a;b' -- x ' y\n /* c /* nested */ ' */ FROM t;", t, e));
  ASSERT_EQ(t.size(), 12u);
  EXPECT_EQ(t[1].kind, TokenKind::QuotedName);
  EXPECT_EQ(t[1].text, "My Col");
  EXPECT_EQ(t[3].text, "Other");
  EXPECT_EQ(t[5].kind, TokenKind::String);
  EXPECT_EQ(t[5].text, "O'Hara");
  EXPECT_EQ(t[7].text, "a;b");
  EXPECT_TRUE(isKeyword(t[8], "from"));
  EXPECT_EQ(t[10].text, ";");
  EXPECT_EQ(t[11].kind, TokenKind::End);
}

TEST(Lexer, UnclosedQuotationMarkIs105) {
  std::vector<Token> t;
  ServerError e;
  EXPECT_FALSE(tokenize("SELECT 'abc", t, e));
  EXPECT_EQ(e.native, 105);
  EXPECT_EQ(e.message, "Unclosed quotation mark after the character string 'abc'.");
}

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

TEST(SqlScript, SplitsAtSemicolonsAndGoLinesOutsideLiterals) {
  auto s = splitScript("CREATE SCHEMA A;\ngo\nINSERT INTO t VALUES ('x;y', 'GO');\n-- only a comment;\n"
                       "SELECT [a;b] FROM t\nGO\n  go  \nSELECT 1 /* ; */");
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s[0], "CREATE SCHEMA A");
  EXPECT_EQ(s[1], "INSERT INTO t VALUES ('x;y', 'GO')");
  EXPECT_EQ(s[2], "\n-- only a comment;\nSELECT [a;b] FROM t\n");
  EXPECT_EQ(s[3], "SELECT 1 /* ; */");
}

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

// Literals become parameters with their decoded text; nothing inside them is
// ever rewritten, even text that looks like names or functions.
TEST(Translate, LiteralsTravelUnchangedAsParameters) {
  Catalog catalog;  // empty: only constant SELECTs bind
  std::vector<Token> tokens;
  ServerError e;
  ASSERT_TRUE(tokenize("SELECT 'KVSYSTEM.Kvs301Asw convert(DATETIME, ''x'', 120) CURRENT_TIMESTAMP', N'[a]'", tokens, e));
  Translation tr;
  TranslateContext ctx;
  ASSERT_TRUE(translate(tokens, 0, tokens.size() - 1, catalog, ctx, tr, e)) << e.message;
  ASSERT_EQ(tr.params.size(), 2u);
  EXPECT_EQ(tr.params[0].s, "KVSYSTEM.Kvs301Asw convert(DATETIME, 'x', 120) CURRENT_TIMESTAMP");
  EXPECT_EQ(tr.params[1].s, "[a]");
  EXPECT_EQ(tr.sql, "SELECT ?1, ?2");
}

TEST(Translate, SyntaxErrorsNameTheTokenAndKeywordsAre156) {
  Catalog catalog;
  TranslateContext ctx;
  auto error = [&](const char* sql) {
    std::vector<Token> tokens;
    ServerError e;
    if (!tokenize(sql, tokens, e)) return e;
    Translation tr;
    EXPECT_FALSE(translate(tokens, 0, tokens.size() - 1, catalog, ctx, tr, e));
    return e;
  };
  ServerError e = error("SELECT 1 +");
  EXPECT_EQ(e.native, 102);
  EXPECT_EQ(e.message, "Incorrect syntax near '+'.");
  e = error("SELECT 1 WHERE 1 = AND 2 = 2");
  EXPECT_EQ(e.native, 156);
  EXPECT_EQ(e.message, "Incorrect syntax near the keyword 'AND'.");
  EXPECT_EQ(e.state, "42000");
  e = error("SELEC 1");
  EXPECT_EQ(e.native, 102);
}

}  // namespace
}  // namespace testdb
