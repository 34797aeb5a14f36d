// Splitting a script into the statements dulmar-sqlrun runs.

#include <gtest/gtest.h>

#include "tsql/sql_script.h"

namespace testdb {
namespace {

TEST(SqlScript, SplitsAtSemicolonsAndGoLinesOutsideLiterals) {
  auto s = splitScript("CREATE SCHEMA A;\ngo\nINSERT INTO t VALUES ('x;y', 'GO');\n-- only a comment;\n"
                       "SELECT [a;b] FROM t\nGO\n  go  \nSELECT 1 /* ; */");
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s[0], "CREATE SCHEMA A");
  EXPECT_EQ(s[1], "INSERT INTO t VALUES ('x;y', 'GO')");
  EXPECT_EQ(s[2], "\n-- only a comment;\nSELECT [a;b] FROM t\n");
  EXPECT_EQ(s[3], "SELECT 1 /* ; */");
}

}  // namespace
}  // namespace testdb
