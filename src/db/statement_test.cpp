#include "db/statement.h"

#include <gtest/gtest.h>

#include <string>


TEST(EscapeSql, DoublesApostrophesOnly) {
  char out[16];
  ASSERT_EQ(escapeSql("O'Neil", out), 0);
  EXPECT_STREQ(out, "O''Neil");
  ASSERT_EQ(escapeSql("''", out), 0);
  EXPECT_STREQ(out, "''''");
  ASSERT_EQ(escapeSql("plain", out), 0);
  EXPECT_STREQ(out, "plain");
}

TEST(EscapeSql, RefusesWhatDoesNotFitInsteadOfCutting) {
  char out[5];
  EXPECT_EQ(escapeSql("abcd", out), 0);
  EXPECT_EQ(escapeSql("abcde", out), -1);
  EXPECT_STREQ(out, "");
  // A doubled apostrophe is never split: "ab'" needs 4 characters.
  EXPECT_EQ(escapeSql("abc'", out), -1);
  EXPECT_STREQ(out, "");
}

TEST(FormatStatement, RefusesStatementsAtTheLimit) {
  char buffer[kStatementCapacity];
  std::string a(kStatementLimit - 1, 'a');
  ASSERT_EQ(formatStatement(buffer, kStatementLimit, "%s", a.c_str()), 0);
  EXPECT_EQ(std::string(buffer), a);
  std::string b(kStatementLimit, 'b');
  EXPECT_EQ(formatStatement(buffer, kStatementLimit, "%s", b.c_str()), -1);
  EXPECT_STREQ(buffer, "");  // nothing left that could run cut
  // A limit above the buffer is held to the buffer.
  std::string c(kStatementCapacity, 'c');
  EXPECT_EQ(formatStatement(buffer, kStatementCapacity + 100, "%s", c.c_str()), -1);
  EXPECT_STREQ(buffer, "");
}

TEST(IsPlainNumber, AcceptsWhatTheServerReadsAsANumber) {
  for (const char* text : {"1", "0004", " 1", "1      ", "  4   ", "+1", "-12", "1.0", "1.", ".5", " -3.25 "})
    EXPECT_TRUE(isPlainNumber(text)) << '<' << text << '>';
}

TEST(IsPlainNumber, RefusesAnythingThatCouldChangeTheStatement) {
  for (const char* text : {"", " ", "+", "-", ".", "1 OR 1=1", "1;DROP TABLE x", "1)", "1--", "1/*", "0x10",
                           "1e5", "1.2.3", "- 1", "1 2", "\t1", "1\n", "'1'", "1,0"})
    EXPECT_FALSE(isPlainNumber(text)) << '<' << text << '>';
}
