// Executing under injected faults: failing allocations and texts, a lost link.

#include <gtest/gtest.h>

#include "odbc/driver_test_fixture.h"

namespace testdb_test {
namespace {

TEST_F(Driver, FaultInjectionPerDataSource) {
  // Statement allocation fails from the third on.
  Connection alloc;
  ASSERT_EQ(alloc.open("allocfail"), SQL_SUCCESS);
  EXPECT_EQ(alloc.exec(fmt(kCostCentreLookup, "42")), SQL_SUCCESS);
  EXPECT_EQ(alloc.exec(fmt(kCostCentreLookup, "42")), SQL_SUCCESS);
  EXPECT_EQ(alloc.exec(fmt(kCostCentreLookup, "42")), SQL_ERROR);
  EXPECT_EQ(alloc.diag()[0].state, "HY001");
  EXPECT_EQ(alloc.exec(fmt(kCostCentreLookup, "42")), SQL_ERROR);

  // A statement containing the piece fails with the chosen error.
  Connection text;
  ASSERT_EQ(text.open("textfail"), SQL_SUCCESS);
  EXPECT_EQ(text.rows(fmt(kCostCentreLookup, "42")), std::vector<std::string>{"4200"});
  EXPECT_EQ(text.exec(fmt(kBookingInsert, "00001001", "2007-02-01 00:00:00", "2007-02-01 07:00:00", "KSW", "4200")),
            SQL_ERROR);
  ASSERT_FALSE(text.diag().empty());
  EXPECT_EQ(text.diag()[0].native, 1205);
  EXPECT_EQ(text.diag()[0].state, "40001");
  EXPECT_EQ(text.diag()[0].message, "[dulmar-testdb][SQL Server]Transaction was deadlocked; rerun the transaction.");
  EXPECT_TRUE(db.rows("SELECT BchPnr FROM KVS321BCH WHERE BchVon = '2007-02-01'").empty());

  // The connection breaks after two statements; every later one fails.
  Connection breaks;
  ASSERT_EQ(breaks.open("breaks"), SQL_SUCCESS);
  EXPECT_EQ(breaks.exec(fmt(kCostCentreLookup, "42")), SQL_SUCCESS);
  EXPECT_EQ(breaks.exec(fmt(kCostCentreLookup, "7")), SQL_SUCCESS);
  EXPECT_EQ(breaks.exec(fmt(kCostCentreLookup, "42")), SQL_ERROR);
  EXPECT_EQ(breaks.diag()[0].state, "08S01");
  EXPECT_EQ(breaks.exec(fmt(kTextLookup, 1065L)), SQL_ERROR);
  EXPECT_EQ(breaks.diag()[0].state, "08S01");
  SQLUINTEGER dead = 0;
  SQLGetConnectAttr(breaks.dbc(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
  EXPECT_EQ(dead, static_cast<SQLUINTEGER>(SQL_CD_TRUE));

  // Without the keys the same database behaves normally.
  EXPECT_EQ(db.rows(fmt(kCostCentreLookup, "42")), std::vector<std::string>{"4200"});
}

TEST_F(Driver, BreakAtStatementsLosesTheLinkAndANewConnectionWorks) {
  Connection first;
  ASSERT_EQ(first.open("blips"), SQL_SUCCESS);
  EXPECT_FALSE(connectionDead(first));
  EXPECT_EQ(first.exec(costCentreInsert("B1")), SQL_SUCCESS);
  EXPECT_EQ(first.exec(costCentreInsert("B2")), SQL_ERROR);
  expectLinkLost(first);
  // A dead link answers every call the same way and counts nothing.
  EXPECT_EQ(first.exec(costCentreInsert("B2")), SQL_ERROR);
  expectLinkLost(first);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, first.dbc(), SQL_COMMIT), SQL_ERROR);

  Connection second;
  ASSERT_EQ(second.open("blips"), SQL_SUCCESS);
  EXPECT_FALSE(connectionDead(second));
  EXPECT_EQ(second.exec(costCentreInsert("B2")), SQL_SUCCESS);
  EXPECT_EQ(second.exec(costCentreInsert("B3")), SQL_ERROR);
  expectLinkLost(second);

  Connection third;
  ASSERT_EQ(third.open("blips"), SQL_SUCCESS);
  for (const char* key : {"B3", "B4", "B5"}) EXPECT_EQ(third.exec(costCentreInsert(key)), SQL_SUCCESS) << key;
  // The statements that met a break never reached the database.
  EXPECT_EQ(db.rows("SELECT KstApz FROM O1003KSTSTELLE WHERE KstNum = 'NET' ORDER BY KstApz"),
            (std::vector<std::string>{"B1", "B2", "B3", "B4", "B5"}));
}

TEST_F(Driver, BreakAfterRunningStoresTheRowAndLosesTheAnswer) {
  const std::string insert = fmt(kBookingInsert, "00001002", "2007-03-01 00:00:00", "2007-03-01 07:00:00", "KSW", "4200");
  Connection first;
  ASSERT_EQ(first.open("answerlost"), SQL_SUCCESS);
  EXPECT_EQ(first.rows(fmt(kCostCentreLookup, "42")), std::vector<std::string>{"4200"});
  EXPECT_EQ(first.exec(insert), SQL_ERROR);
  expectLinkLost(first);
  EXPECT_EQ(db.rows("SELECT BchPnr FROM KVS321BCH WHERE BchVon = '2007-03-01'"), std::vector<std::string>{"00001002"});
  Connection again;
  ASSERT_EQ(again.open("answerlost"), SQL_SUCCESS);
  EXPECT_EQ(again.exec(insert), SQL_ERROR);
  ASSERT_FALSE(again.diag().empty());
  EXPECT_EQ(again.diag()[0].native, 2627);
  EXPECT_FALSE(connectionDead(again));
}

TEST_F(Driver, BreakRollsBackTheOpenTransaction) {
  Connection c;
  ASSERT_EQ(c.open("txnbreak"), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(c.dbc(), SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0), SQL_SUCCESS);
  EXPECT_EQ(c.exec(costCentreInsert("T1")), SQL_SUCCESS);
  EXPECT_EQ(c.exec(costCentreInsert("T2")), SQL_SUCCESS);
  EXPECT_EQ(c.exec(costCentreInsert("T3")), SQL_ERROR);
  expectLinkLost(c);
  EXPECT_EQ(db.exec(costCentreInsert("T9")), SQL_SUCCESS);
  EXPECT_EQ(db.rows("SELECT KstApz FROM O1003KSTSTELLE WHERE KstApz LIKE 'T%'"), std::vector<std::string>{"T9"});
}

}  // namespace
}  // namespace testdb_test
