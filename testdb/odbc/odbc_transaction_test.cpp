// Transactions through the driver manager as the program drives them: its
// requests (SET options, BEGIN ... COMMIT around its INSERTs, SELECT
// @@TRANCOUNT, IF @@TRANCOUNT > 0 ROLLBACK), the durable commits counted and
// written at disconnect, and what a deadlock, a stall, a cancel, a break after
// a commit and SessionDefaults leave behind.

#include <gtest/gtest.h>

#include <fstream>

#include "odbc/driver_test_fixture.h"

namespace testdb_test {
namespace {

using Lines = std::vector<std::string>;

/// A row of its own for these tests (the others own the cost centre 'NET').
std::string keyInsert(const char* key) {
  return fmt("INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('%s', 'TXN')", key);
}

/// The program's storing request around the INSERTs of cost centres keys.
std::string storingRequest(std::initializer_list<const char*> keys) {
  std::string text = "SELECT 1;\nBEGIN TRANSACTION;\n";
  for (const char* key : keys) text += keyInsert(key) + ";\n";
  return text + "COMMIT TRANSACTION;\nSELECT @@TRANCOUNT";
}

constexpr const char* kSessionOptions = "SET XACT_ABORT OFF;\nSET IMPLICIT_TRANSACTIONS OFF;\nSET NOCOUNT OFF";
constexpr const char* kEndWhatIsOpen = "IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION";

std::string storedKeys(Connection& c, const char* pattern) {
  std::string keys;
  for (const std::string& k :
       c.rows(fmt("SELECT KstApz FROM O1003KSTSTELLE WHERE KstApz LIKE '%s' ORDER BY KstApz", pattern))) {
    keys += (keys.empty() ? "" : " ") + k;
  }
  return keys;
}

// The program's requests answer as SQL Server's would: the SETs and the
// transaction statements have no result, a duplicate key ends only its
// INSERT, one durable commit per request; COMMIT without a transaction is
// 3902. The count is written to CommitCountFile at disconnect.
TEST_F(Driver, TheProgramsRequestsCommitOncePerRequest) {
  const std::string countFile = dir_ + "/commits.count";
  ASSERT_EQ(writeDsn(dir_ + "/odbc", "commits", dir_ + "/main.db", {"CommitMs=0.5", "CommitCountFile=" + countFile}),
            0);
  {
    Connection c;
    ASSERT_EQ(c.open("commits"), SQL_SUCCESS);
    EXPECT_EQ(requestResults(c, kSessionOptions, true), Lines{"count -1"});
    EXPECT_EQ(requestResults(c, storingRequest({"zc1", "zc2", "zc1", "zc3"}), true),
              (Lines{"rows 1", "count 1", "count 1", "error 2627 3621 23000", "count 1", "rows 0"}));
    EXPECT_EQ(requestResults(c, "COMMIT TRANSACTION", true), Lines{"error 3902 25000"});
    EXPECT_EQ(c.exec(kEndWhatIsOpen), SQL_SUCCESS);
    EXPECT_EQ(requestResults(c, keyInsert("zc4"), true), Lines{"count 1"});
    // Manual commit: SQLEndTran's commit is a durable one.
    ASSERT_EQ(SQLSetConnectAttr(c.dbc(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_SUCCESS);
    EXPECT_EQ(requestResults(c, keyInsert("zc5"), true), Lines{"count 1"});
    EXPECT_EQ(storedKeys(db, "zc_"), "zc1 zc2 zc3 zc4");
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, c.dbc(), SQL_COMMIT), SQL_SUCCESS);
    EXPECT_EQ(storedKeys(db, "zc_"), "zc1 zc2 zc3 zc4 zc5");
  }
  std::ifstream in(countFile);
  std::string total;
  std::getline(in, total);
  EXPECT_EQ(total, "3");
}

// DeadlockAtStatements=3 meets the second INSERT (SET, BEGIN and COMMIT are
// not numbered): 1205, the transaction rolled back, nothing after it runs.
// A stall is a query timeout: the batch ends there and its transaction stays
// open, its rows seen by no other connection, until a rollback or the
// disconnect. A cancel ends the batch too.
TEST_F(Driver, ADeadlockRollsBackAStallOrCancelLeavesTheTransactionOpen) {
  ASSERT_EQ(writeDsn(dir_ + "/odbc", "deadlock", dir_ + "/main.db", {"DeadlockAtStatements=3"}), 0);
  ASSERT_EQ(writeDsn(dir_ + "/odbc", "stall", dir_ + "/main.db", {"StallAtStatements=4"}), 0);
  Connection victim;
  ASSERT_EQ(victim.open("deadlock"), SQL_SUCCESS);
  EXPECT_EQ(requestResults(victim, kSessionOptions, true), Lines{"count -1"});
  EXPECT_EQ(requestResults(victim, storingRequest({"zd1", "zd2", "zd3"}), true), (Lines{"rows 1", "count 1", "error 1205 40001"}));
  EXPECT_EQ(victim.rows("SELECT @@TRANCOUNT"), Lines{"0"});
  EXPECT_EQ(storedKeys(db, "zd_"), "");
  EXPECT_EQ(victim.exec(keyInsert("zd9")), SQL_SUCCESS);
  EXPECT_EQ(storedKeys(db, "zd_"), "zd9");

  {
    Connection stalled;
    ASSERT_EQ(stalled.open("stall"), SQL_SUCCESS);
    EXPECT_EQ(requestResults(stalled, storingRequest({"zs1", "zs2", "zs3", "zs4"}), true),
              (Lines{"rows 1", "count 1", "count 1", "error 0 HYT00"}));
    EXPECT_EQ(stalled.rows("SELECT @@TRANCOUNT"), Lines{"1"});
    EXPECT_EQ(storedKeys(stalled, "zs_"), "zs1 zs2");
    EXPECT_EQ(storedKeys(db, "zs_"), "");
  }
  EXPECT_EQ(storedKeys(db, "zs_"), "");
  EXPECT_EQ(db.exec(keyInsert("zs5")), SQL_SUCCESS);

  // A cancel while results are pending: the rest of the batch never runs.
  SQLHSTMT stmt = SQL_NULL_HANDLE;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, db.dbc(), &stmt), SQL_SUCCESS);
  std::string text = "SELECT 1\n" + keyInsert("zx1");
  ASSERT_EQ(SQLExecDirect(stmt, odbcText(text), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLCancel(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  EXPECT_EQ(storedKeys(db, "zx_"), "");
}

// BreakAfterCommits=1: the COMMIT is durable, its answer lost with the link.
// SessionDefaults=IMPLICIT_TRANSACTIONS: an INSERT opens a transaction the
// disconnect rolls back, until the program's SET turns the option off.
TEST_F(Driver, ABreakAfterTheCommitAndImplicitTransactionsFromTheDataSource) {
  ASSERT_EQ(writeDsn(dir_ + "/odbc", "commitbreak", dir_ + "/main.db", {"BreakAfterCommits=1"}), 0);
  ASSERT_EQ(writeDsn(dir_ + "/odbc", "implicit", dir_ + "/main.db", {"SessionDefaults=IMPLICIT_TRANSACTIONS"}), 0);
  Connection c;
  ASSERT_EQ(c.open("commitbreak"), SQL_SUCCESS);
  EXPECT_EQ(requestResults(c, storingRequest({"zb1", "zb2"}), true),
            (Lines{"rows 1", "count 1", "count 1", "error 10054 10054 08S01"}));
  EXPECT_TRUE(connectionDead(c));
  EXPECT_EQ(storedKeys(db, "zb_"), "zb1 zb2");

  {
    Connection implicit;
    ASSERT_EQ(implicit.open("implicit"), SQL_SUCCESS);
    EXPECT_EQ(requestResults(implicit, keyInsert("zi1") + "\nSELECT @@TRANCOUNT", true), (Lines{"count 1", "rows 1"}));
    EXPECT_EQ(storedKeys(db, "zi_"), "");
  }
  EXPECT_EQ(storedKeys(db, "zi_"), "");
  Connection program;
  ASSERT_EQ(program.open("implicit"), SQL_SUCCESS);
  EXPECT_EQ(requestResults(program, std::string(kSessionOptions) + "\n" + keyInsert("zi2") + "\nSELECT @@TRANCOUNT", true),
            (Lines{"count 1", "rows 0"}));
  EXPECT_EQ(storedKeys(db, "zi_"), "zi2");
}

}  // namespace
}  // namespace testdb_test
