// Splitting a script into the statements dulmar-sqlrun and the tests send,
// by the same rule the engine splits a batch with.

#include <gtest/gtest.h>

#include "tsql/sql_script.h"

namespace testdb {
namespace {

using Texts = std::vector<std::string>;

TEST(SqlScript, SplitsAtSemicolonsAndGoLinesOutsideLiterals) {
  auto s = splitScript("CREATE SCHEMA A;\ngo\nINSERT INTO t VALUES ('x;y', 'GO');\n-- only a comment;\n"
                       "SELECT [a;b] FROM t\nGO\n  go  \nSELECT 1 /* ; */");
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s[0], "CREATE SCHEMA A");
  EXPECT_EQ(s[1], "INSERT INTO t VALUES ('x;y', 'GO')");
  EXPECT_EQ(s[2], "\n-- only a comment;\nSELECT [a;b] FROM t\n");
  EXPECT_EQ(s[3], "SELECT 1 /* ; */");
}

// Block comments nest in T-SQL: the ';' inside the inner comment's tail is still comment.
TEST(SqlScript, NestedBlockCommentsHideTheirSemicolons) {
  EXPECT_EQ(splitScript("SELECT 1 /* a /* b */ ; c */ FROM t; SELECT 2"),
            (Texts{"SELECT 1 /* a /* b */ ; c */ FROM t", " SELECT 2"}));
  EXPECT_EQ(splitScript("SELECT 1 /* a /* b */ c */; /* x; */ ; -- y;\n"), Texts{"SELECT 1 /* a /* b */ c */"});
}

TEST(SqlScript, GoOpeningALineKeepsWhatFollowsItOnTheLine) {
  EXPECT_EQ(splitScript("CREATE TABLE t (a int);\ngo INSERT INTO t VALUES (1);\nSELECT COUNT(*) FROM t;\n"),
            (Texts{"CREATE TABLE t (a int)", " INSERT INTO t VALUES (1)", "\nSELECT COUNT(*) FROM t"}));
  EXPECT_EQ(splitScript("go SELECT 1"), Texts{" SELECT 1"});
}

TEST(SqlScript, GoCountsOnlyAloneOnItsLine) {
  EXPECT_EQ(splitScript("SELECT go FROM t\nSELECT 1 GO\n\tGo\t\r\nSELECT 2"),
            (Texts{"SELECT go FROM t\nSELECT 1 GO\n", "SELECT 2"}));
  EXPECT_EQ(splitScript("SELECT 'a\nGO\nb'"), Texts{"SELECT 'a\nGO\nb'"});
  EXPECT_EQ(splitScript("SELECT [x\ngo\n]"), Texts{"SELECT [x\ngo\n]"});
}

TEST(SqlScript, BlankAndCommentOnlyPiecesAreLeftOut) {
  EXPECT_TRUE(splitScript("").empty());
  EXPECT_TRUE(splitScript(" ;\n;; -- x\n/* y */\nGO\n").empty());
}

// The statement that cannot be tokenized goes to the server whole, so the
// server's error (105, 102) is what the script reports; the ones before it run.
TEST(SqlScript, TheRestAfterAnUntokenizableTextIsOneStatement) {
  EXPECT_EQ(splitScript("SELECT 1; SELECT 'abc; SELECT 2"), (Texts{"SELECT 1", " SELECT 'abc; SELECT 2"}));
  EXPECT_EQ(splitScript("SELECT 1;\n'open"), (Texts{"SELECT 1", "\n'open"}));
  EXPECT_EQ(splitScript("SELECT 1; SELECT { x; y"), (Texts{"SELECT 1", " SELECT { x; y"}));
  EXPECT_EQ(splitScript("[open"), Texts{"[open"});
}

TEST(SqlScript, SpansGiveTokensAndTextOfEachStatement) {
  std::string sql = "SELECT 1;\nGO\nSELECT a FROM t";
  std::vector<Token> tokens;
  ServerError e;
  ASSERT_TRUE(tokenize(sql, tokens, e));
  auto spans = splitStatements(sql, tokens);
  ASSERT_EQ(spans.size(), 2u);
  EXPECT_EQ(spans[0].begin, 0u);
  EXPECT_EQ(spans[0].end, 2u);
  EXPECT_EQ(tokens[spans[1].begin].text, "SELECT");
  EXPECT_EQ(spans[1].end - spans[1].begin, 4u);
  EXPECT_EQ(sql.substr(spans[1].textBegin, spans[1].textEnd - spans[1].textBegin), "SELECT a FROM t");
}

}  // namespace
}  // namespace testdb
