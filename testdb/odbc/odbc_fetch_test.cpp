// Fetching through the driver manager: bound columns, NULL, truncation, the end.

#include <gtest/gtest.h>

#include "odbc/driver_test_fixture.h"

namespace testdb_test {
namespace {

TEST_F(Driver, BoundCharColumnsReportNullTruncationAndEnd) {
  SQLHSTMT stmt = SQL_NULL_HANDLE;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, db.dbc(), &stmt), SQL_SUCCESS);
  std::string sql = "SELECT AswPnr, AswGbi, AswNum FROM KVSYSTEM.Kvs301Asw WHERE AswNum = '0000100001'";
  ASSERT_EQ(SQLExecDirect(stmt, odbcText(sql), SQL_NTS), SQL_SUCCESS);
  char pnr[20] = "unchanged", gbi[20] = "unchanged", num[5] = "";
  SQLLEN pnrInd = 0, gbiInd = 0, numInd = 0;
  SQLBindCol(stmt, 1, SQL_C_CHAR, pnr, sizeof pnr, &pnrInd);
  SQLBindCol(stmt, 2, SQL_C_CHAR, gbi, sizeof gbi, &gbiInd);
  SQLBindCol(stmt, 3, SQL_C_CHAR, num, sizeof num, &numInd);
  EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(pnr, "00001001");
  EXPECT_EQ(pnrInd, 8);
  EXPECT_EQ(gbiInd, SQL_NULL_DATA);
  EXPECT_STREQ(num, "0000");
  EXPECT_EQ(numInd, 10);
  auto records = diagnostics(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].state, "01004");
  EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
  // A number that does not fit its character buffer is an error, not a cut.
  std::string count = "SELECT 123456 FROM KVSYSTEM.Kvs112Mnd";
  ASSERT_EQ(SQLExecDirect(stmt, odbcText(count), SQL_NTS), SQL_SUCCESS);
  SQLBindCol(stmt, 1, SQL_C_CHAR, num, sizeof num, &numInd);
  SQLBindCol(stmt, 2, SQL_C_CHAR, nullptr, 0, nullptr);
  SQLBindCol(stmt, 3, SQL_C_CHAR, nullptr, 0, nullptr);
  EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
  EXPECT_EQ(diagnostics(SQL_HANDLE_STMT, stmt)[0].state, "22003");
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

}  // namespace
}  // namespace testdb_test
