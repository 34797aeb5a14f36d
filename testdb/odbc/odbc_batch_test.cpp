// Batches through the driver manager: one result per statement walked with
// SQLMoreResults, a failed statement's result with its records, what the
// driver says of batches, BatchSupport=0, and a link lost in mid-batch.

#include <gtest/gtest.h>

#include "odbc/driver_test_fixture.h"

namespace testdb_test {
namespace {

using Results = std::vector<std::string>;

TEST_F(Driver, ABatchGivesOneResultPerStatement) {
  ASSERT_EQ(db.exec("CREATE TABLE BatchT (a int NOT NULL CONSTRAINT PK_BatchT PRIMARY KEY, "
                    "b varchar(3) NULL CONSTRAINT CK_BatchT CHECK (b <> 'bad'))"),
            SQL_SUCCESS);
  // No separators; a SET and a BEGIN TRAN have no result of their own.
  EXPECT_EQ(requestResults(db, "SET NOCOUNT OFF\nINSERT INTO BatchT (a) VALUES (1)\nINSERT INTO BatchT (a) VALUES (2), (3)\n"
                        "SELECT a FROM BatchT ORDER BY a\nUPDATE BatchT SET b = 'x' WHERE a = 9"),
            (Results{"count 1", "count 2", "rows 1 2 3", "count 0"}));
  // A duplicate key, a CHECK and a NOT NULL failure in mid-batch end only their
  // statement: their result is the error with 3621, and the next one runs.
  EXPECT_EQ(requestResults(db, "INSERT INTO BatchT (a) VALUES (4)\nINSERT INTO BatchT (a) VALUES (1)\n"
                        "INSERT INTO BatchT (a, b) VALUES (5, 'bad')\nINSERT INTO BatchT (a) VALUES (NULL)\n"
                        "INSERT INTO BatchT (a) VALUES (6)"),
            (Results{"count 1", "error 2627 3621", "error 547 3621", "error 515 3621", "count 1"}));
  // A conversion error ends the batch: its result is the last.
  EXPECT_EQ(requestResults(db, "INSERT INTO BatchT (a) VALUES (7)\nINSERT INTO BatchT (a) VALUES ('x')\n"
                        "INSERT INTO BatchT (a) VALUES (8)"),
            (Results{"count 1", "error 245"}));
  // A transaction around a failing statement commits the good rows; with
  // XACT_ABORT ON the error rolls it back and ends the batch.
  EXPECT_EQ(requestResults(db, "BEGIN TRAN\nINSERT INTO BatchT (a) VALUES (10)\nINSERT INTO BatchT (a) VALUES (1)\n"
                        "INSERT INTO BatchT (a) VALUES (11)\nCOMMIT"),
            (Results{"count 1", "error 2627 3621", "count 1"}));
  EXPECT_EQ(requestResults(db, "SET XACT_ABORT ON\nBEGIN TRAN\nINSERT INTO BatchT (a) VALUES (12)\n"
                        "INSERT INTO BatchT (a) VALUES (1)\nINSERT INTO BatchT (a) VALUES (13)\nCOMMIT"),
            (Results{"count 1", "error 2627 3621"}));
  EXPECT_EQ(db.rows("SET XACT_ABORT OFF SELECT a FROM BatchT WHERE a >= 4 ORDER BY a"),
            (std::vector<std::string>{"4", "6", "7", "10", "11"}));
  // The error's line within the batch.
  SQLHSTMT stmt = SQL_NULL_HANDLE;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, db.dbc(), &stmt), SQL_SUCCESS);
  std::string text = "SELECT 1\n\nINSERT INTO BatchT (a) VALUES (1)";
  ASSERT_EQ(SQLExecDirect(stmt, odbcText(text), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLMoreResults(stmt), SQL_ERROR);
  auto records = diagnostics(SQL_HANDLE_STMT, stmt);
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].state, "23000");
  EXPECT_EQ(SQLMoreResults(stmt), SQL_NO_DATA);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  // A result left unread is dropped; closing runs what is left of the batch, as the server does.
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, db.dbc(), &stmt), SQL_SUCCESS);
  text = "SELECT a FROM BatchT\nINSERT INTO BatchT (a) VALUES (20)";
  ASSERT_EQ(SQLExecDirect(stmt, odbcText(text), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM BatchT WHERE a = 20"), std::vector<std::string>{"1"});
}

TEST_F(Driver, TheDriverSaysWhatItDoesWithBatches) {
  auto text = [](const Connection& c, SQLUSMALLINT info) {
    char value[64] = "";
    SQLSMALLINT length = 0;
    SQLGetInfo(c.dbc(), info, value, sizeof value, &length);
    return std::string(value);
  };
  auto number = [](const Connection& c, SQLUSMALLINT info) {
    SQLUINTEGER value = 99;
    SQLGetInfo(c.dbc(), info, &value, sizeof value, nullptr);
    return value;
  };
  EXPECT_EQ(text(db, SQL_MULT_RESULT_SETS), "Y");
  EXPECT_EQ(text(db, SQL_DBMS_NAME), "Microsoft SQL Server");
  EXPECT_EQ(number(db, SQL_BATCH_SUPPORT), 0xFu);
  EXPECT_EQ(number(db, SQL_BATCH_ROW_COUNT), static_cast<SQLUINTEGER>(SQL_BRC_EXPLICIT));
  EXPECT_EQ(number(db, SQL_PARAM_ARRAY_ROW_COUNTS), static_cast<SQLUINTEGER>(SQL_PARC_BATCH));
  // BatchSupport=0: no batches, and a request of several statements is refused whole.
  Connection single;
  ASSERT_EQ(single.open("nobatch"), SQL_SUCCESS);
  EXPECT_EQ(text(single, SQL_MULT_RESULT_SETS), "N");
  EXPECT_EQ(number(single, SQL_BATCH_SUPPORT), 0u);
  ASSERT_EQ(single.exec("INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('b1', 'X')\n"
                        "INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('b2', 'X')"),
            SQL_ERROR);
  EXPECT_EQ(single.diag()[0].state, "HYC00");
  EXPECT_EQ(single.rows("SELECT COUNT(*) FROM O1003KSTSTELLE WHERE KstApz LIKE 'b_'"), std::vector<std::string>{"0"});
}

// BreakAtStatements=3 counts statements inside a batch: the two before the
// break ran and their results arrive, the third meets the lost link.
TEST_F(Driver, ABreakInMidBatchDeliversTheResultsBeforeIt) {
  Connection c;
  ASSERT_EQ(c.open("midbatch"), SQL_SUCCESS);
  EXPECT_EQ(requestResults(c, "INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('m1', 'X')\n"
                       "INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('m2', 'X')\n"
                       "INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('m3', 'X')\n"
                       "INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('m4', 'X')"),
            (Results{"count 1", "count 1", "error 10054 10054"}));
  EXPECT_TRUE(connectionDead(c));
  EXPECT_EQ(db.rows("SELECT KstApz FROM O1003KSTSTELLE WHERE KstApz LIKE 'm_' ORDER BY KstApz"),
            (std::vector<std::string>{"m1", "m2"}));
}

}  // namespace
}  // namespace testdb_test
