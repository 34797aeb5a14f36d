// A session on the database file: batches, results held open side by side,
// manual transactions, row counts, and a file that cannot be opened.

#include <gtest/gtest.h>

#include "engine/engine_test_support.h"

namespace testdb_test {
namespace {

using testdb::ErrorList;
using testdb::Execution;
using testdb::Session;
using Rows = std::vector<std::string>;

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(db.run("CREATE TABLE t (a int NOT NULL, b varchar(5) NULL, CONSTRAINT PK_t PRIMARY KEY (a))").empty());
  }

  /// The first column of the next row of out, or "end".
  std::string next(Execution& out) {
    ErrorList errors;
    if (db.session().next(out, errors) != 1) return "end";
    const unsigned char* text = sqlite3_column_text(out.stmt, 0);
    return text ? reinterpret_cast<const char*>(text) : "NULL";
  }

  TestDatabase db;
};

TEST_F(SessionTest, ABatchRunsInOrderAndStopsAtItsFirstError) {
  EXPECT_EQ(db.rows("INSERT INTO t (a) VALUES (1); INSERT INTO t (a) VALUES (2)\nGO\nSELECT COUNT(*) FROM t"),
            Rows{"2"});
  ErrorList errors = db.run("INSERT INTO t (a) VALUES (3); INSERT INTO t (a) VALUES (1); INSERT INTO t (a) VALUES (4)");
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.front().native, 2627);
  // Autocommitted, the statement before the error stays; the one after never ran.
  EXPECT_EQ(db.rows("SELECT a FROM t ORDER BY a"), (Rows{"1", "2", "3"}));
  // A syntax error anywhere in a batch runs none of it, as SQL Server compiles the batch first.
  errors = db.run("INSERT INTO t (a) VALUES (5); SELECT FROM t WHERE");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors.front().native, 156);
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM t WHERE a = 5"), Rows{"0"});
  // Names are resolved when their statement runs: a table the batch creates can be used in it,
  // and a missing one stops the batch there.
  EXPECT_EQ(db.rows("CREATE TABLE u (c int NULL); INSERT INTO u (c) VALUES (7); SELECT c FROM u"), Rows{"7"});
  errors = db.run("INSERT INTO t (a) VALUES (6); INSERT INTO Missing (a) VALUES (1); INSERT INTO t (a) VALUES (8)");
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.front().native, 208);
  EXPECT_EQ(db.rows("SELECT a FROM t WHERE a > 5"), Rows{"6"});
}

// Two results of the same text are open at once: each has a prepared statement of its own.
TEST_F(SessionTest, ResultsOfTheSameTextStayApart) {
  ASSERT_TRUE(db.run("INSERT INTO t (a) VALUES (1), (2), (3)").empty());
  Execution first, second;
  ErrorList errors;
  ASSERT_EQ(db.session().execute("SELECT a FROM t ORDER BY a", first, errors), 0);
  EXPECT_EQ(next(first), "1");
  ASSERT_EQ(db.session().execute("SELECT a FROM t ORDER BY a", second, errors), 0);
  EXPECT_EQ(next(second), "1");
  EXPECT_EQ(next(second), "2");
  EXPECT_EQ(next(first), "2");
  EXPECT_EQ(next(first), "3");
  EXPECT_EQ(next(first), "end");
  db.session().release(second);
  // A released statement is used again, from its first row.
  ASSERT_EQ(db.session().execute("SELECT a FROM t ORDER BY a", second, errors), 0);
  EXPECT_EQ(next(second), "1");
  db.session().release(second);
  db.session().release(first);
}

TEST_F(SessionTest, RowCountsOfChangesAndNoneForQueries) {
  ASSERT_TRUE(db.run("INSERT INTO t (a) VALUES (1), (2), (3)").empty());
  Execution out;
  ErrorList errors;
  ASSERT_EQ(db.session().execute("UPDATE t SET b = 'x' WHERE a >= 2", out, errors), 0);
  EXPECT_EQ(out.rowCount, 2);
  EXPECT_FALSE(out.hasResultSet);
  ASSERT_EQ(db.session().execute("DELETE FROM t WHERE a = 9", out, errors), 0);
  EXPECT_EQ(out.rowCount, 0);
  ASSERT_EQ(db.session().execute("SELECT a FROM t WHERE a = 9", out, errors), 0);
  EXPECT_TRUE(out.hasResultSet);
  EXPECT_EQ(out.rowCount, -1);
  EXPECT_EQ(next(out), "end");
}

TEST_F(SessionTest, ManualTransactionsCommitOrRollBack) {
  Session other;
  ASSERT_EQ(db.open(other), 0);
  db.session().setAutocommit(false);
  ASSERT_TRUE(db.run("INSERT INTO t (a) VALUES (1)").empty());
  EXPECT_EQ(TestDatabase::rowsOf(other, "SELECT COUNT(*) FROM t"), Rows{"0"});
  ErrorList errors;
  ASSERT_EQ(db.session().endTransaction(false, errors), 0);
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM t"), Rows{"0"});
  ASSERT_TRUE(db.run("INSERT INTO t (a) VALUES (2)").empty());
  ASSERT_EQ(db.session().endTransaction(true, errors), 0);
  EXPECT_EQ(TestDatabase::rowsOf(other, "SELECT a FROM t"), Rows{"2"});
  // Ending a transaction that is not open is no error.
  EXPECT_EQ(db.session().endTransaction(true, errors), 0);
  EXPECT_TRUE(errors.empty());
}

TEST(SessionOpen, AFileThatCannotBeOpenedIs4060) {
  Session s;
  testdb::SessionOptions options;
  options.file = "/nonexistent-dir/for-sure/x.db";
  options.databaseName = "x";
  ErrorList errors;
  EXPECT_EQ(s.open(options, errors), -1);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].native, 4060);
  EXPECT_EQ(errors[0].message, "Cannot open database \"x\" requested by the login. The login failed.");
  EXPECT_EQ(s.db(), nullptr);
}

}  // namespace
}  // namespace testdb_test
