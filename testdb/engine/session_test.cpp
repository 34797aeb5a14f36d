// A session on the database file: batches, results held open side by side,
// manual transactions, row counts, and a file that cannot be opened.

#include <gtest/gtest.h>

#include "engine/engine_test_support.h"

namespace testdb_test {
namespace {

using testdb::ColumnType;
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

// A batch runs as SQL Server runs it: statements end without a separator, a
// constraint error ends only its statement, a conversion or a missing table
// ends the batch, a syntax error anywhere runs nothing, errors name their line.
TEST_F(SessionTest, ABatchRunsAsSqlServerRunsIt) {
  EXPECT_EQ(db.rows("INSERT INTO t (a) VALUES (1)\nINSERT INTO t (a) VALUES (2)\nSELECT COUNT(*) FROM t"), Rows{"2"});
  EXPECT_EQ(db.rows("INSERT INTO t (a) VALUES (20); INSERT INTO t (a) VALUES (21) SELECT COUNT(*) FROM t"), Rows{"4"});
  ASSERT_TRUE(db.run("DELETE FROM t WHERE a >= 20").empty());
  // A duplicate key, a NULL into NOT NULL and a value too long each end their
  // own statement; the rows after them are stored.
  ErrorList errors =
      db.run("INSERT INTO t (a) VALUES (3)\nINSERT INTO t (a) VALUES (1)\nINSERT INTO t (a) VALUES (NULL)\n"
             "INSERT INTO t (a, b) VALUES (9, 'toolong')\nINSERT INTO t (a) VALUES (4)");
  ASSERT_EQ(errors.size(), 6u);
  EXPECT_EQ(errors[0].native, 2627);
  EXPECT_EQ(errors[0].line, 2);
  EXPECT_EQ(errors[1].native, 3621);
  EXPECT_EQ(errors[2].native, 515);
  EXPECT_EQ(errors[2].line, 3);
  EXPECT_EQ(errors[4].native, 8152);
  EXPECT_EQ(errors[4].line, 4);
  EXPECT_EQ(db.rows("SELECT a FROM t ORDER BY a"), (Rows{"1", "2", "3", "4"}));
  // A conversion error ends the batch; what ran before it stays.
  errors = db.run("INSERT INTO t (a) VALUES (5)\nINSERT INTO t (a) VALUES ('x')\nINSERT INTO t (a) VALUES (6)");
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.front().native, 245);
  EXPECT_EQ(errors.front().line, 2);
  EXPECT_EQ(db.rows("SELECT a FROM t WHERE a >= 5"), Rows{"5"});
  // A syntax error anywhere in a batch runs none of it, as SQL Server compiles
  // the batch first; its line is the line of the token it met. GO is no
  // statement: only the client tools cut scripts at it.
  errors = db.run("INSERT INTO t (a) VALUES (7)\n\nSELECT FROM t WHERE");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors.front().native, 156);
  EXPECT_EQ(errors.front().line, 3);
  errors = db.run("INSERT INTO t (a) VALUES (7)\nGO\nINSERT INTO t (a) VALUES (8)");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors.front().native, 102);
  EXPECT_EQ(errors.front().message, "Incorrect syntax near 'GO'.");
  EXPECT_EQ(errors.front().line, 2);
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM t WHERE a >= 7"), Rows{"0"});
  // Names are resolved when their statement runs: a table the batch creates
  // can be used in it, and a missing one ends the batch there.
  EXPECT_EQ(db.rows("CREATE TABLE u (c int NULL)\nINSERT INTO u (c) VALUES (7)\nSELECT c FROM u"), Rows{"7"});
  errors = db.run("INSERT INTO t (a) VALUES (6); INSERT INTO Missing (a) VALUES (1); INSERT INTO t (a) VALUES (8)");
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.front().native, 208);
  EXPECT_EQ(db.rows("SELECT a FROM t WHERE a > 5"), Rows{"6"});
  // The SET statements clients send after login, one a line, are one statement each.
  EXPECT_EQ(db.rows("set textsize 2147483647\nset transaction isolation level read committed\nset dateformat mdy\n"
                    "SELECT COUNT(*) FROM t"),
            Rows{"6"});
}

// Transactions inside batches: a statement-ending error leaves the transaction
// open and COMMIT keeps the good rows; XACT_ABORT ON or a conversion error
// rolls it back and ends the batch; @@TRANCOUNT counts nested BEGIN TRANs;
// COMMIT and ROLLBACK without a transaction are 3902 and 3903.
TEST_F(SessionTest, TransactionsInsideBatches) {
  ASSERT_TRUE(db.run("INSERT INTO t (a) VALUES (1)").empty());
  ErrorList errors =
      db.run("BEGIN TRAN\nINSERT INTO t (a) VALUES (2)\nINSERT INTO t (a) VALUES (1)\nINSERT INTO t (a) VALUES (3)\n"
             "COMMIT");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].native, 2627);
  EXPECT_EQ(db.session().tranCount(), 0);
  EXPECT_EQ(db.rows("SELECT a FROM t ORDER BY a"), (Rows{"1", "2", "3"}));

  errors = db.run("SET XACT_ABORT ON\nBEGIN TRAN\nINSERT INTO t (a) VALUES (4)\nINSERT INTO t (a) VALUES (1)\n"
                  "INSERT INTO t (a) VALUES (5)\nCOMMIT");
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0].native, 2627);
  EXPECT_EQ(db.session().tranCount(), 0);
  // The batch ended at the error: a later COMMIT has nothing to commit.
  errors = db.run("SET XACT_ABORT OFF\nCOMMIT");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].native, 3902);
  EXPECT_EQ(errors[0].message, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM t WHERE a >= 4"), Rows{"0"});

  // A conversion error rolls the open transaction back even with XACT_ABORT OFF.
  errors = db.run("BEGIN TRAN\nINSERT INTO t (a) VALUES (6)\nINSERT INTO t (a) VALUES ('x')\nCOMMIT");
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0].native, 245);
  EXPECT_EQ(db.session().tranCount(), 0);
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM t WHERE a = 6"), Rows{"0"});

  EXPECT_EQ(db.rows("BEGIN TRAN\nBEGIN TRANSACTION\nSELECT @@TRANCOUNT SELECT COUNT(*) FROM t"), Rows{"3"});
  EXPECT_EQ(db.rows("SELECT @@TRANCOUNT"), Rows{"2"});
  EXPECT_EQ(db.rows("INSERT INTO t (a) VALUES (7)\nCOMMIT\nSELECT @@TRANCOUNT"), Rows{"1"});
  EXPECT_EQ(db.rows("ROLLBACK\nSELECT @@TRANCOUNT"), Rows{"0"});
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM t WHERE a = 7"), Rows{"0"});
  errors = db.run("ROLLBACK TRAN");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].native, 3903);
}

// A table as SSMS's "Generate Scripts" writes it, storage options and all:
// they are accepted and ignored, the key is in force.
TEST_F(SessionTest, ATableInTheFormOfGeneratedScriptsKeepsItsKey) {
  ASSERT_TRUE(db.run("SET ANSI_NULLS ON\nSET QUOTED_IDENTIFIER ON\n"
                     "CREATE TABLE [dbo].[Gen]([GenNum] [int] NOT NULL, [GenBez] [varchar](20) NULL,\n"
                     " CONSTRAINT [PK_Gen] PRIMARY KEY CLUSTERED ([GenNum] ASC)\n"
                     "WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, "
                     "ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON) ON [PRIMARY]\n) ON [PRIMARY]\n"
                     "CREATE NONCLUSTERED INDEX [IX_Gen] ON [dbo].[Gen] ([GenBez] ASC)\n"
                     "WITH (PAD_INDEX = OFF, SORT_IN_TEMPDB = OFF, DROP_EXISTING = OFF, ONLINE = OFF) ON [PRIMARY]\n"
                     "INSERT [dbo].[Gen] ([GenNum], [GenBez]) VALUES (1, N'eins')\n"
                     "INSERT [dbo].[Gen] ([GenNum], [GenBez]) VALUES (2, N'zwei')")
                  .empty());
  ErrorList errors = db.run("INSERT [dbo].[Gen] ([GenNum], [GenBez]) VALUES (1, N'noch eins')");
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0].native, 2627);
  EXPECT_EQ(errors[0].message.rfind("Violation of PRIMARY KEY constraint 'PK_Gen'.", 0), 0u);
  EXPECT_EQ(db.rows("SELECT GenBez FROM Gen ORDER BY GenNum"), (Rows{"eins", "zwei"}));
}

// The export an administrator brings from SQL Server Management Studio loads
// whole, and its ALTER TABLE lines leave the CHECKs and DEFAULTs in force, for
// this session and for another one opened on the file.
TEST_F(SessionTest, AGeneratedScriptLoadsWithItsConstraintsInForce) {
  ASSERT_EQ(db.load(std::string(DULMAR_SQL_DIR) + "/generated-script-example.sql"), 0);
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM KVSYSTEM.Kvs301Asw"), Rows{"6"});
  EXPECT_EQ(db.rows("SELECT AswGVo FROM KVSYSTEM.Kvs301Asw WHERE AswPnr = '00001003'"),
            Rows{"2007-01-01 00:00:00.000"});
  ErrorList errors = db.run("INSERT INTO KVS321BCH (BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst) VALUES "
                            "('00001001', '2007-01-01', '2007-01-01 08:00', 25, 'KSW', '')");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].native, 547);
  EXPECT_EQ(
      errors[0].message,
      "The INSERT statement conflicted with the CHECK constraint \"CK_KVS321BCH_BchKst\". The conflict occurred in "
      "database \"" +
          db.session().databaseName() + "\", table \"dbo.KVS321BCH\", column 'BchKst'.");
  ASSERT_TRUE(db.run("INSERT INTO KVSYSTEM.Kvs112Mnd (MndLiz, MndNum, MndSch) VALUES (7, 7, 'SIEBEN')").empty());
  EXPECT_EQ(db.rows("SELECT MndKon FROM KVSYSTEM.Kvs112Mnd WHERE MndLiz = 7"), Rows{"0"});
  Session other;
  ASSERT_EQ(db.open(other), 0);
  errors.clear();
  Execution out;
  EXPECT_NE(other.execute("INSERT INTO KVS321BCH (BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst) VALUES "
                          "('', '2007-01-01', '2007-01-01 08:00', 25, 'KSW', '4100')",
                          out, errors),
            0);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0].native, 547);
  EXPECT_NE(errors[0].message.find("CK_KVS321BCH_BchPnr"), std::string::npos);
}

// ALTER TABLE adds what it can keep and refuses the rest with SQL Server's
// errors: WITH CHECK finds a stored row that breaks the CHECK and adds
// nothing, WITH NOCHECK leaves stored rows alone, a rolled-back transaction
// takes the constraint with it, a second DEFAULT, an unknown constraint and
// the forms not supported are errors, never a quiet success.
TEST_F(SessionTest, AlterTableAddsWhatItCanKeepAndRefusesTheRest) {
  ASSERT_TRUE(db.run("INSERT INTO t (a, b) VALUES (-1, 'x'), (2, NULL)").empty());
  EXPECT_EQ(describe(db.run("ALTER TABLE [dbo].[t] WITH CHECK ADD CONSTRAINT [CK_t_a] CHECK (([a]>(0)))")),
            (Rows{"547 23000 The ALTER TABLE statement conflicted with the CHECK constraint \"CK_t_a\". The conflict "
                  "occurred in database \"" +
                  db.session().databaseName() + "\", table \"dbo.t\", column 'a'."}));
  EXPECT_TRUE(db.run("INSERT INTO t (a) VALUES (-3)").empty());
  // NULL is no breach: b of row 2 passes.
  EXPECT_TRUE(db.run("ALTER TABLE t WITH CHECK ADD CONSTRAINT CK_t_b CHECK (b <> '')").empty());
  EXPECT_TRUE(db.run("ALTER TABLE t WITH NOCHECK ADD CONSTRAINT CK_t_a CHECK (a > 0)").empty());
  ErrorList errors = db.run("INSERT INTO t (a) VALUES (-4)\nINSERT INTO t (a, b) VALUES (5, '')");
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_EQ(errors[0].native, 547);
  EXPECT_NE(errors[0].message.find("CK_t_a"), std::string::npos);
  EXPECT_NE(errors[2].message.find("CK_t_b"), std::string::npos);
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM t"), Rows{"3"});

  ASSERT_TRUE(db.run("BEGIN TRAN\nALTER TABLE t ADD CONSTRAINT DF_t_b DEFAULT ('d') FOR b\n"
                     "INSERT INTO t (a) VALUES (6)\nROLLBACK")
                  .empty());
  ASSERT_TRUE(db.run("INSERT INTO t (a) VALUES (7)").empty());
  EXPECT_EQ(db.rows("SELECT b FROM t WHERE a >= 6"), Rows{"NULL"});
  ASSERT_TRUE(db.run("ALTER TABLE t ADD CONSTRAINT DF_t_b DEFAULT ('d') FOR b INSERT INTO t (a) VALUES (8)").empty());
  EXPECT_EQ(db.rows("SELECT b FROM t WHERE a = 8"), Rows{"d"});

  errors = db.run("ALTER TABLE t ADD CONSTRAINT DF_t_b2 DEFAULT ('e') FOR b");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].native, 1781);
  EXPECT_EQ(errors[1].native, 1750);
  EXPECT_TRUE(db.run("ALTER TABLE [dbo].[t] CHECK CONSTRAINT [CK_t_a]").empty());
  EXPECT_EQ(describe(db.run("ALTER TABLE t CHECK CONSTRAINT CK_none")),
            Rows{"4917 42000 Constraint 'CK_none' does not exist."});
  const std::pair<const char*, int> refused[] = {{"ALTER TABLE t ADD c int NULL", 102},
                                                 {"ALTER TABLE t NOCHECK CONSTRAINT CK_t_a", 102},
                                                 {"ALTER TABLE t DROP CONSTRAINT CK_t_a", 156},
                                                 {"IF 1 = 1 SELECT 1", 102}};
  for (const auto& [sql, native] : refused) {
    errors = db.run(sql);
    ASSERT_FALSE(errors.empty()) << sql;
    EXPECT_EQ(errors[0].native, native) << sql;
  }
  EXPECT_EQ(db.run("EXEC dbo.Nothing")[0].native, 2812);
}

// The guarded CREATE SCHEMA of generated scripts runs once; EXEC's text is a
// statement of its own, compiled when it runs, its errors those of the EXEC.
TEST_F(SessionTest, GuardedSchemaCreationRunsOnce) {
  const char* guarded = "IF NOT EXISTS (SELECT * FROM sys.schemas WHERE name = N'Neu')\nEXEC('CREATE SCHEMA [Neu]')";
  ASSERT_TRUE(db.run(guarded).empty());
  ASSERT_TRUE(db.run(guarded).empty());
  ASSERT_TRUE(db.run("IF NOT EXISTS (SELECT * FROM sys.schemas WHERE name = N'Zwei') "
                     "EXEC sys.sp_executesql N'CREATE SCHEMA [Zwei]'\nCREATE TABLE Zwei.z (a int NULL)")
                  .empty());
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM Zwei.z"), Rows{"0"});
  EXPECT_EQ(db.run("IF EXISTS (SELECT * FROM sys.schemas WHERE name = N'Neu') EXEC('CREATE SCHEMA [Neu]')")[0].native,
            2714);
  // A syntax error in the text ends the EXEC when it runs; the statements around it run.
  ErrorList errors = db.run("INSERT INTO t (a) VALUES (1)\nEXEC('SELECT FROM')\nINSERT INTO t (a) VALUES (2)");
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0].native, 156);
  EXPECT_EQ(errors[0].line, 2);
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM t"), Rows{"2"});
}

// A batch is translated once as it is compiled, but a statement runs against
// what the statements before it made of the tables: a table replaced within
// the batch takes its new columns, @@TRANCOUNT reads what BEGIN TRAN left.
TEST_F(SessionTest, AStatementRunsAgainstWhatTheBatchBeforeItChanged) {
  ASSERT_TRUE(db.run("CREATE TABLE r (x int NULL)").empty());
  Execution out;
  ErrorList errors;
  ASSERT_EQ(db.session().execute("DROP TABLE r\nCREATE TABLE r (x varchar(5) NULL)\nSELECT x FROM r", out, errors), 0);
  ASSERT_EQ(out.columns.size(), 1u);
  EXPECT_EQ(out.columns[0].type.type, ColumnType::VarChar);
  EXPECT_EQ(out.columns[0].type.length, 5);
  db.session().release(out);
  EXPECT_EQ(db.rows("SELECT @@TRANCOUNT\nBEGIN TRAN\nSELECT @@TRANCOUNT"), Rows{"1"});
  EXPECT_EQ(db.rows("ROLLBACK SELECT @@TRANCOUNT"), Rows{"0"});
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
