#pragma once
// The fixture of the driver's tests: a database loaded with sql/schema.sql and
// sql/demo-data.sql, reached through unixODBC's driver manager under data
// sources with and without injected faults.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "odbc/odbc_test_support.h"
#include "tsql/program_statements.h"

namespace testdb_test {

inline std::string costCentreInsert(const char* key) {
  return fmt("INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('%s', 'NET')", key);
}

inline bool connectionDead(const Connection& c) {
  SQLUINTEGER dead = SQL_CD_FALSE;
  if (!SQL_SUCCEEDED(SQLGetConnectAttr(c.dbc(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr))) return false;
  return dead == SQL_CD_TRUE;
}

// What a lost link looks like to the application: SQL Server's driver's two records.
inline void expectLinkLost(const Connection& c) {
  ASSERT_EQ(c.diag().size(), 2u);
  EXPECT_EQ(c.diag()[0].state, "08S01");
  EXPECT_EQ(c.diag()[0].native, 10054);
  EXPECT_EQ(c.diag()[0].message,
            "[dulmar-testdb]TCP Provider: An existing connection was forcibly closed by the remote host.");
  EXPECT_EQ(c.diag()[1].message, "[dulmar-testdb]Communication link failure");
  EXPECT_TRUE(connectionDead(c));
}

class Driver : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = tempDir();
    std::string db = dir_ + "/main.db";
    ASSERT_EQ(writeDsn(dir_ + "/odbc", "main", db), 0);
    ASSERT_EQ(writeDsn(dir_ + "/odbc", "allocfail", db, {"FailStmtAllocFrom=3"}), 0);
    ASSERT_EQ(writeDsn(dir_ + "/odbc", "textfail", db,
                       {"FailOnText=INSERT INTO KVS321BCH", "FailNative=1205", "FailState=40001",
                        "FailMessage=Transaction was deadlocked; rerun the transaction."}),
              0);
    ASSERT_EQ(writeDsn(dir_ + "/odbc", "breaks", db, {"BreakAfterStatements=2"}), 0);
    ASSERT_EQ(writeDsn(dir_ + "/odbc", "nofile", dir_ + "/missing/dir/x.db"), 0);
    ASSERT_EQ(writeDsn(dir_ + "/odbc", "blips", db, {"BreakAtStatements=4,2"}), 0);
    ASSERT_EQ(writeDsn(dir_ + "/odbc", "answerlost", db, {"BreakAtStatements=2", "BreakAfterRunning=1"}), 0);
    ASSERT_EQ(writeDsn(dir_ + "/odbc", "txnbreak", db, {"BreakAtStatements=3"}), 0);
    ASSERT_EQ(writeDsn(dir_ + "/odbc", "down", db, {"BreakAtStatements=2", "RefuseConnectAfterBreak=1"}), 0);
    ASSERT_EQ(writeDsn(dir_ + "/odbc", "badkey", db, {"BreakAtStatements=2,x"}), 0);
    ASSERT_EQ(writeDsn(dir_ + "/odbc", "nobatch", db, {"BatchSupport=0"}), 0);
    ASSERT_EQ(writeDsn(dir_ + "/odbc", "midbatch", db, {"BreakAtStatements=3"}), 0);
    Connection c;
    ASSERT_EQ(c.open("main"), SQL_SUCCESS);
    ASSERT_EQ(loadScript(c, std::string(DULMAR_SQL_DIR) + "/schema.sql"), 0) << c.diag()[0].message;
    ASSERT_EQ(loadScript(c, std::string(DULMAR_SQL_DIR) + "/demo-data.sql"), 0) << c.diag()[0].message;
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }
  void SetUp() override { ASSERT_EQ(db.open("main"), SQL_SUCCESS); }

  static std::string dir_;
  Connection db;
};

inline std::string Driver::dir_;

}  // namespace testdb_test
