// How transactions end and what commits cost: the durable commits a session
// makes and waits for, statement-ending errors inside a transaction, the
// deadlock victim, IMPLICIT_TRANSACTIONS and the session defaults.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "engine/engine_test_support.h"

namespace testdb_test {
namespace {

using testdb::CommitLedger;
using testdb::CommitSettings;
using testdb::ErrorList;
using testdb::Session;
using testdb::SessionOptions;
using Rows = std::vector<std::string>;

class TransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(db.run("CREATE TABLE p (id int NOT NULL, CONSTRAINT PK_p PRIMARY KEY (id))\n"
                       "CREATE TABLE c (a int NOT NULL, b varchar(3) NULL, u int NULL, pid int NULL,\n"
                       " CONSTRAINT PK_c PRIMARY KEY (a), CONSTRAINT CK_c CHECK (a < 100),\n"
                       " CONSTRAINT FK_c_p FOREIGN KEY (pid) REFERENCES p (id))\n"
                       "CREATE UNIQUE INDEX IX_c_u ON c (u)\nINSERT INTO p (id) VALUES (1)")
                    .empty());
  }

  /// Errors of sql on session s, as numbers.
  static std::vector<int> natives(Session& s, const std::string& sql) {
    testdb::Execution out;
    ErrorList errors;
    s.execute(sql, out, errors);
    s.release(out);
    std::vector<int> numbers;
    for (const testdb::ServerError& e : errors) numbers.push_back(e.native);
    return numbers;
  }

  TestDatabase db;
};

// Every durable commit is counted once over the database's sessions: an
// autocommitted change, the outermost COMMIT, a manual commit; reads, changes
// of no row, failed statements, nested COMMITs and rollbacks are not. The
// program's own request commits once however many INSERTs it holds.
TEST_F(TransactionTest, DurableCommitsAreCountedWhereSqlServerFlushesItsLog) {
  const std::string countFile = db.file() + ".commits";
  CommitSettings settings;
  settings.commitMs = 0.5;
  settings.countFile = countFile;
  SessionOptions options;
  options.commits = std::make_shared<CommitLedger>(settings);
  Session s;
  Session other;
  ASSERT_EQ(db.open(s, options), 0);
  ASSERT_EQ(db.open(other, options), 0);
  const CommitLedger& ledger = *options.commits;

  EXPECT_TRUE(natives(s, "INSERT INTO c (a) VALUES (1)").empty());
  EXPECT_EQ(ledger.total(), 1);
  EXPECT_EQ(s.durableCommits(), 1);
  EXPECT_EQ(natives(s, "UPDATE c SET b = 'x' WHERE a = 99\nSELECT a FROM c\nINSERT INTO c (a) VALUES (1)"),
            (std::vector<int>{2627, 3621}));
  EXPECT_EQ(ledger.total(), 1);

  const std::string request =
      "SELECT 1;\nBEGIN TRANSACTION;\nINSERT INTO c (a) VALUES (2);\nINSERT INTO c (a) VALUES (1);\n"
      "INSERT INTO c (a) VALUES (3);\nCOMMIT TRANSACTION;\nSELECT @@TRANCOUNT";
  EXPECT_EQ(natives(s, request), (std::vector<int>{2627, 3621}));
  EXPECT_EQ(s.tranCount(), 0);
  EXPECT_EQ(ledger.total(), 2);
  EXPECT_EQ(TestDatabase::rowsOf(other, "SELECT COUNT(*) FROM c"), Rows{"3"});

  // Only the outermost COMMIT commits; a rollback and a COMMIT without a
  // transaction (3902) commit nothing.
  EXPECT_EQ(TestDatabase::rowsOf(s, "BEGIN TRAN BEGIN TRAN INSERT INTO c (a) VALUES (4) COMMIT SELECT @@TRANCOUNT"),
            Rows{"1"});
  EXPECT_EQ(ledger.total(), 2);
  EXPECT_TRUE(natives(s, "COMMIT TRANSACTION").empty());
  EXPECT_EQ(ledger.total(), 3);
  EXPECT_EQ(natives(s, "BEGIN TRAN INSERT INTO c (a) VALUES (5) ROLLBACK COMMIT TRANSACTION"), std::vector<int>{3902});
  EXPECT_EQ(ledger.total(), 3);

  // DDL in autocommit, and the other session's change, count in the same ledger.
  EXPECT_TRUE(natives(other, "CREATE TABLE d (x int NULL)\nINSERT INTO c (a) VALUES (6)").empty());
  EXPECT_EQ(ledger.total(), 5);
  EXPECT_EQ(other.durableCommits(), 2);
  EXPECT_EQ(s.durableCommits(), 3);

  // Manual commit: the change waits for SQLEndTran's commit.
  s.setAutocommit(false);
  EXPECT_TRUE(natives(s, "INSERT INTO c (a) VALUES (7)").empty());
  EXPECT_EQ(ledger.total(), 5);
  ErrorList errors;
  ASSERT_EQ(s.endTransaction(true, errors), 0);
  ASSERT_EQ(s.endTransaction(true, errors), 0);
  EXPECT_EQ(ledger.total(), 6);
  s.setAutocommit(true);

  ASSERT_EQ(ledger.writeTotal(), 0);
  std::ifstream in(countFile);
  std::string written;
  std::getline(in, written);
  EXPECT_EQ(written, "6");
}

// With XACT_ABORT OFF a duplicate key (2627, 2601), a constraint (547), a NULL
// (515) and a value too long (8152) end only their statement: the transaction
// stays open and commits the rest. The deadlock victim (1205) is rolled back.
// IF @@TRANCOUNT > 0 ROLLBACK ends what is open and is no error when nothing is.
TEST_F(TransactionTest, StatementErrorsLeaveTheTransactionOpenADeadlockRollsItBack) {
  Session& s = db.session();
  EXPECT_EQ(natives(s, "BEGIN TRAN\nINSERT INTO c (a, u) VALUES (1, 1)\nINSERT INTO c (a) VALUES (1)\n"
                       "INSERT INTO c (a, u) VALUES (2, 1)\nINSERT INTO c (a) VALUES (200)\n"
                       "INSERT INTO c (a, pid) VALUES (3, 9)\nINSERT INTO c (a) VALUES (NULL)\n"
                       "INSERT INTO c (a, b) VALUES (4, 'long')\nINSERT INTO c (a) VALUES (5)"),
            (std::vector<int>{2627, 3621, 2601, 3621, 547, 3621, 547, 3621, 515, 3621, 8152, 3621}));
  EXPECT_EQ(s.tranCount(), 1);
  EXPECT_EQ(db.rows("COMMIT SELECT a FROM c ORDER BY a"), (Rows{"1", "5"}));

  EXPECT_TRUE(natives(s, "IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION").empty());
  EXPECT_TRUE(
      natives(s, "BEGIN TRANSACTION INSERT INTO c (a) VALUES (6) IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION").empty());
  EXPECT_EQ(s.tranCount(), 0);
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM c WHERE a = 6"), Rows{"0"});

  ASSERT_TRUE(db.run("BEGIN TRAN BEGIN TRAN INSERT INTO c (a) VALUES (7)").empty());
  ErrorList errors;
  s.deadlockVictim(57, errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].native, 1205);
  EXPECT_EQ(errors[0].state, "40001");
  EXPECT_EQ(errors[0].message,
            "Transaction (Process ID 57) was deadlocked on lock resources with another process and has been chosen "
            "as the deadlock victim. Rerun the transaction.");
  EXPECT_EQ(testdb::errorActionOf(1205), testdb::ErrorAction::Batch);
  EXPECT_EQ(s.tranCount(), 0);
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM c WHERE a = 7"), Rows{"0"});
}

// SessionDefaults turn options on from the start, as a site's user options do.
// IMPLICIT_TRANSACTIONS: what reads or changes a table opens a transaction
// that only COMMIT or ROLLBACK ends; BEGIN TRAN outside one nests to 2;
// turning it off leaves an open transaction open. XACT_ABORT from the
// defaults makes a duplicate key roll back the transaction.
TEST_F(TransactionTest, SessionDefaultsAndImplicitTransactions) {
  SessionOptions options;
  EXPECT_EQ(testdb::readSessionDefaults("IMPLICIT_TRANSACTIONS", options), 0);
  EXPECT_TRUE(options.implicitTransactions);
  EXPECT_FALSE(options.xactAbort);
  EXPECT_EQ(testdb::readSessionDefaults("xact_abort, IMPLICIT_TRANSACTIONS", options), 0);
  EXPECT_TRUE(options.xactAbort && options.implicitTransactions);
  EXPECT_EQ(testdb::readSessionDefaults("XACT_ABORT,ANSI_NULLS", options), -1);
  EXPECT_EQ(testdb::readSessionDefaults("XACT_ABORT,", options), -1);

  options = SessionOptions{};
  options.implicitTransactions = true;
  Session s;
  ASSERT_EQ(db.open(s, options), 0);
  EXPECT_TRUE(s.implicitTransactions());
  EXPECT_EQ(TestDatabase::rowsOf(s, "SELECT 1 SELECT @@TRANCOUNT"), Rows{"0"});
  EXPECT_EQ(TestDatabase::rowsOf(s, "SELECT a FROM c SELECT @@TRANCOUNT"), Rows{"1"});
  EXPECT_EQ(TestDatabase::rowsOf(s, "INSERT INTO c (a) VALUES (1) COMMIT SELECT @@TRANCOUNT"), Rows{"0"});
  EXPECT_EQ(TestDatabase::rowsOf(s, "INSERT INTO c (a) VALUES (2) SELECT @@TRANCOUNT"), Rows{"1"});
  EXPECT_EQ(db.rows("SELECT a FROM c WITH (NOLOCK)"), Rows{"1"});
  EXPECT_EQ(TestDatabase::rowsOf(s, "ROLLBACK BEGIN TRANSACTION SELECT @@TRANCOUNT"), Rows{"2"});
  EXPECT_EQ(TestDatabase::rowsOf(s, "COMMIT SET IMPLICIT_TRANSACTIONS OFF SELECT @@TRANCOUNT"), Rows{"1"});
  EXPECT_EQ(TestDatabase::rowsOf(s, "COMMIT INSERT INTO c (a) VALUES (3) SELECT @@TRANCOUNT"), Rows{"0"});
  EXPECT_EQ(db.rows("SELECT a FROM c ORDER BY a"), (Rows{"1", "3"}));

  options = SessionOptions{};
  options.xactAbort = true;
  Session strict;
  ASSERT_EQ(db.open(strict, options), 0);
  EXPECT_EQ(natives(strict, "BEGIN TRAN INSERT INTO c (a) VALUES (4) INSERT INTO c (a) VALUES (1) COMMIT"),
            (std::vector<int>{2627, 3621}));
  EXPECT_EQ(strict.tranCount(), 0);
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM c WHERE a = 4"), Rows{"0"});
}

}  // namespace
}  // namespace testdb_test
