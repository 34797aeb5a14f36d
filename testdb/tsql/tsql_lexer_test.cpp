// The tokenizer: literals decoded once, comments skipped, errors of SQL Server.

#include <gtest/gtest.h>

#include "tsql/tsql_lexer.h"

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

}  // namespace
}  // namespace testdb
