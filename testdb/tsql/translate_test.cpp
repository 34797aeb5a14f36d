// Translation of T-SQL statements into SQLite, with SQL Server's errors.

#include <gtest/gtest.h>

#include "engine/catalog.h"
#include "tsql/translate.h"
#include "tsql/tsql_lexer.h"

namespace testdb {
namespace {

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
