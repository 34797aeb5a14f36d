// Connecting: the login, a server that is down, data-source keys with bad values.

#include <gtest/gtest.h>

#include <algorithm>

#include "odbc/driver_test_fixture.h"

namespace testdb_test {
namespace {

TEST_F(Driver, LoginIsCheckedAndRowsAreAutocommitted) {
  Connection wrong;
  EXPECT_EQ(wrong.open("main", "sa", "Secret"), SQL_ERROR);
  ASSERT_FALSE(wrong.diag().empty());
  EXPECT_EQ(wrong.diag()[0].native, 18456);
  EXPECT_EQ(wrong.diag()[0].state, "28000");
  EXPECT_EQ(wrong.diag()[0].message, "[unixODBC][dulmar-testdb][SQL Server]Login failed for user 'sa'.");
  Connection otherUser;
  EXPECT_EQ(otherUser.open("main", "guest", "secret"), SQL_ERROR);
  EXPECT_EQ(otherUser.diag()[0].message, "[unixODBC][dulmar-testdb][SQL Server]Login failed for user 'guest'.");
  Connection upperLogin;
  EXPECT_EQ(upperLogin.open("main", "SA", "secret"), SQL_SUCCESS);
  Connection unknown;
  EXPECT_EQ(unknown.open("nosuchdsn"), SQL_ERROR);
  EXPECT_EQ(unknown.diag()[0].state, "IM002");
  Connection noFile;
  EXPECT_EQ(noFile.open("nofile"), SQL_ERROR);
  ASSERT_EQ(noFile.diag().size(), 2u);
  // The driver manager hands back a failed connection's records last first.
  EXPECT_EQ(noFile.diag()[0].native, 18456);
  EXPECT_EQ(noFile.diag()[1].native, 4060);
  EXPECT_EQ(noFile.diag()[1].message,
            "[unixODBC][dulmar-testdb][SQL Server]Cannot open database \"x\" requested by the login. The login failed.");

  // Autocommit: a second connection sees the row at once, without a commit.
  ASSERT_EQ(db.exec("INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('999', 'AUTO')"), SQL_SUCCESS);
  EXPECT_EQ(upperLogin.rows("SELECT KstNum FROM o1003kststelle WHERE KstApz = '999'"),
            std::vector<std::string>{"AUTO"});
  // With autocommit off, a rollback undoes the row.
  ASSERT_EQ(SQLSetConnectAttr(db.dbc(), SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0), SQL_SUCCESS);
  ASSERT_EQ(db.exec("DELETE FROM O1003KSTSTELLE WHERE KstApz = '999'"), SQL_SUCCESS);
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, db.dbc(), SQL_ROLLBACK), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(db.dbc(), SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0), SQL_SUCCESS);
  EXPECT_EQ(db.rows("SELECT KstNum FROM O1003KSTSTELLE WHERE KstApz = '999'"), std::vector<std::string>{"AUTO"});
}

TEST_F(Driver, RefuseConnectAfterBreakTakesTheServerDown) {
  Connection bystander;
  ASSERT_EQ(bystander.open("down"), SQL_SUCCESS);
  Connection c;
  ASSERT_EQ(c.open("down"), SQL_SUCCESS);
  EXPECT_EQ(c.exec(fmt(kCostCentreLookup, "42")), SQL_SUCCESS);
  EXPECT_EQ(c.exec(fmt(kCostCentreLookup, "42")), SQL_ERROR);
  expectLinkLost(c);
  EXPECT_EQ(bystander.exec(fmt(kCostCentreLookup, "42")), SQL_ERROR);
  expectLinkLost(bystander);

  Connection later;
  EXPECT_EQ(later.open("down"), SQL_ERROR);
  // The driver manager reorders a failed connection's records; all three are there.
  std::vector<std::string> records;
  for (const Diag& d : later.diag()) records.push_back(d.state + " " + std::to_string(d.native) + " " + d.message);
  std::sort(records.begin(), records.end());
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0],
            "08001 10061 [unixODBC][dulmar-testdb]A network-related or instance-specific error has occurred while "
            "establishing a connection to SQL Server. Server is not found or not accessible. Check if instance name "
            "is correct and if SQL Server is configured to allow remote connections. For more information see SQL "
            "Server Books Online.");
  EXPECT_EQ(records[1],
            "08001 10061 [unixODBC][dulmar-testdb]TCP Provider: No connection could be made because the target "
            "machine actively refused it.");
  EXPECT_EQ(records[2], "HYT00 0 [unixODBC][dulmar-testdb]Login timeout expired");
  // The same database through a data source without the keys is untouched.
  EXPECT_EQ(db.rows(fmt(kCostCentreLookup, "42")), std::vector<std::string>{"4200"});
}

TEST_F(Driver, AFaultKeyWithABadValueRefusesTheConnection) {
  Connection c;
  EXPECT_EQ(c.open("badkey"), SQL_ERROR);
  ASSERT_FALSE(c.diag().empty());
  EXPECT_EQ(c.diag()[0].state, "HY024");
  EXPECT_EQ(c.diag()[0].message, "[unixODBC][dulmar-testdb]Invalid attribute value: BreakAtStatements=2,x");
}

}  // namespace
}  // namespace testdb_test
