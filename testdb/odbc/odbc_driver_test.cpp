// The driver through unixODBC's driver manager, with the statement texts the
// program sends, against sql/schema.sql and sql/demo-data.sql.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "odbc/odbc_test_support.h"
#include "tsql/program_statements.h"

namespace testdb_test {
namespace {

std::string costCentreInsert(const char* key) {
  return fmt("INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('%s', 'NET')", key);
}

bool connectionDead(const Connection& c) {
  SQLUINTEGER dead = SQL_CD_FALSE;
  if (!SQL_SUCCEEDED(SQLGetConnectAttr(c.dbc(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr))) return false;
  return dead == SQL_CD_TRUE;
}

// What a lost link looks like to the application: SQL Server's driver's two records.
void expectLinkLost(const Connection& c) {
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

std::string Driver::dir_;

TEST_F(Driver, BadgeLookupFollowsTheValidityPeriodAtMidnight) {
  // Current, same badge with two holders, ended, ending that day, future.
  EXPECT_EQ(db.rows(badge("0000100001", "2007-01-25 00:00:00")), std::vector<std::string>{"00001001|1|1"});
  EXPECT_EQ(db.rows(badge("0000100002", "2007-01-25 00:00:00")), std::vector<std::string>{"00001003|1|1"});
  EXPECT_EQ(db.rows(badge("0000100002", "2006-12-31 00:00:00")), std::vector<std::string>{"00001002|1|1"});
  EXPECT_EQ(db.rows(badge("0000100004", "2007-01-31 00:00:00")), std::vector<std::string>{"00001004|1|1"});
  EXPECT_TRUE(db.rows(badge("0000100004", "2007-02-01 00:00:00")).empty());
  EXPECT_TRUE(db.rows(badge("0000100005", "2007-02-28 00:00:00")).empty());
  EXPECT_EQ(db.rows(badge("0000100005", "2007-03-01 00:00:00")), std::vector<std::string>{"00001005|1|1"});
  // Case and trailing blanks do not matter to '='.
  EXPECT_EQ(db.rows(badge("0000100001  ", "2007-01-25 00:00:00")).size(), 1u);
}

TEST_F(Driver, TenantAndCostCentreLookups) {
  EXPECT_EQ(db.rows(fmt(kTenantLookup, "1", "1")), std::vector<std::string>{"MUSTER"});
  EXPECT_EQ(db.rows(fmt(kTenantLookup, "1      ", "1")), std::vector<std::string>{"MUSTER"});
  EXPECT_TRUE(db.rows(fmt(kTenantLookup, "1", "2")).empty());
  EXPECT_EQ(db.rows(fmt(kCostCentreLookup, "123")), std::vector<std::string>{"4300-QS"});
  EXPECT_EQ(db.rows(fmt(kCostCentreLookup, "42")), std::vector<std::string>{"4200"});
  EXPECT_TRUE(db.rows(fmt(kCostCentreLookup, "0000042")).empty());
  // An empty licence number leaves the statement without an operand.
  EXPECT_EQ(db.exec(fmt(kTenantLookup, "", "1")), SQL_ERROR);
  ASSERT_FALSE(db.diag().empty());
  EXPECT_EQ(db.diag()[0].native, 156);
  EXPECT_EQ(db.diag()[0].state, "42000");
  EXPECT_EQ(db.diag()[0].message, "[dulmar-testdb][SQL Server]Incorrect syntax near the keyword 'AND'.");
  // An apostrophe in a badge number ends its literal early.
  EXPECT_EQ(db.exec(badge("10'6", "2007-01-25 00:00:00")), SQL_ERROR);
  EXPECT_EQ(db.diag()[0].native, 102);
}

TEST_F(Driver, InvalidDatesFailWith241And242) {
  EXPECT_EQ(db.exec(badge("0000100001", "2007-02-30 00:00:00")), SQL_ERROR);
  EXPECT_EQ(db.diag()[0].native, 242);
  EXPECT_EQ(db.diag()[0].state, "22008");
  EXPECT_EQ(db.exec(badge("0000100001", "2007-13-25 00:00:00")), SQL_ERROR);
  EXPECT_EQ(db.diag()[0].native, 242);
  // Even when no row would be read: the constant is converted first.
  EXPECT_EQ(db.exec(badge("nobody", "20a7-01-25 00:00:00")), SQL_ERROR);
  EXPECT_EQ(db.diag()[0].native, 241);
  EXPECT_EQ(db.diag()[0].state, "22007");
  EXPECT_EQ(db.diag()[0].message,
            "[dulmar-testdb][SQL Server]Conversion failed when converting date and/or time from character string.");
}

TEST_F(Driver, BookingInsertStoresRowsAndRejectsDuplicates) {
  std::string insert = fmt(kBookingInsert, "00001001", "2007-01-25 00:00:00", "2007-01-25 08:15:00", "KSW", "4300-QS");
  ASSERT_EQ(db.exec(insert), SQL_SUCCESS);
  EXPECT_EQ(db.rows("SELECT BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst FROM KVS321BCH WHERE BchUhr = "
                    "convert(DATETIME, '2007-01-25 08:15:00', 120)"),
            std::vector<std::string>{"00001001|2007-01-25 00:00:00.000|2007-01-25 08:15:00.000|25|KSW|4300-QS"});
  ASSERT_EQ(db.exec(insert), SQL_ERROR);
  ASSERT_EQ(db.diag().size(), 2u);
  EXPECT_EQ(db.diag()[0].native, 2627);
  EXPECT_EQ(db.diag()[0].state, "23000");
  EXPECT_EQ(db.diag()[0].message,
            "[dulmar-testdb][SQL Server]Violation of PRIMARY KEY constraint 'PK_KVS321BCH'. Cannot insert duplicate "
            "key in object 'dbo.KVS321BCH'. The duplicate key value is (00001001, 2007-01-25 00:00:00.000, "
            "2007-01-25 08:15:00.000, 25).");
  EXPECT_EQ(db.diag()[1].native, 3621);
  EXPECT_EQ(db.diag()[1].state, "01000");
  EXPECT_EQ(db.diag()[1].message, "[dulmar-testdb][SQL Server]The statement has been terminated.");
  // A personnel number that differs only in case and trailing blanks is the same key.
  EXPECT_EQ(db.exec(fmt(kBookingInsert, "00001001 ", "2007-01-25 00:00:00", "2007-01-25 08:15:00", "KSW", "x")),
            SQL_ERROR);
  EXPECT_EQ(db.diag()[0].native, 2627);
}

TEST_F(Driver, ConstraintAndTypeErrorsCarrySqlServerTexts) {
  // A booking whose lookups failed: empty personnel number, CHECK constraint.
  EXPECT_EQ(db.exec(fmt(kBookingInsert, "", "2007-01-25 00:00:00", "2007-01-25 09:00:00", "KSW", "4200")), SQL_ERROR);
  ASSERT_EQ(db.diag().size(), 2u);
  EXPECT_EQ(db.diag()[0].native, 547);
  EXPECT_EQ(db.diag()[0].message,
            "[dulmar-testdb][SQL Server]The INSERT statement conflicted with the CHECK constraint "
            "\"CK_KVS321BCH_BchPnr\". The conflict occurred in database \"main\", table \"dbo.KVS321BCH\", column "
            "'BchPnr'.");
  EXPECT_EQ(db.diag()[1].native, 3621);
  // Too long for char(8).
  EXPECT_EQ(db.exec(fmt(kBookingInsert, "123456789", "2007-01-25 00:00:00", "2007-01-25 09:00:00", "KSW", "4200")),
            SQL_ERROR);
  EXPECT_EQ(db.diag()[0].native, 8152);
  EXPECT_EQ(db.diag()[0].state, "22001");
  EXPECT_EQ(db.diag()[0].message, "[dulmar-testdb][SQL Server]String or binary data would be truncated.");
  EXPECT_EQ(db.diag()[1].native, 3621);
  // NULL into NOT NULL.
  EXPECT_EQ(db.exec("INSERT INTO KVS321BCH (BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst) VALUES ('1', "
                    "'2007-01-01', '2007-01-01', 25, NULL, 'x')"),
            SQL_ERROR);
  EXPECT_EQ(db.diag()[0].native, 515);
  EXPECT_EQ(db.diag()[0].message,
            "[dulmar-testdb][SQL Server]Cannot insert the value NULL into column 'BchFcd', table "
            "'main.dbo.KVS321BCH'; column does not allow nulls. INSERT fails.");
  // A column left out without a default.
  EXPECT_EQ(db.exec("INSERT INTO KVS321BCH (BchPnr, BchVon, BchUhr, BchFkt, BchFcd) VALUES ('1', '2007-01-01', "
                    "'2007-01-01', 25, 'KSW')"),
            SQL_ERROR);
  EXPECT_EQ(db.diag()[0].native, 515);
  // Unknown table, as written.
  EXPECT_EQ(db.exec("SELECT * FROM KvSystem.Kvs999Xyz"), SQL_ERROR);
  EXPECT_EQ(db.diag()[0].native, 208);
  EXPECT_EQ(db.diag()[0].state, "42S02");
  EXPECT_EQ(db.diag()[0].message, "[dulmar-testdb][SQL Server]Invalid object name 'KvSystem.Kvs999Xyz'.");
  // A unique index is 2601.
  ASSERT_EQ(db.exec("CREATE TABLE Kst2 (Nr int NOT NULL, Code varchar(5) NULL)"), SQL_SUCCESS);
  ASSERT_EQ(db.exec("CREATE UNIQUE INDEX UX_Kst2_Code ON Kst2 (Code)"), SQL_SUCCESS);
  ASSERT_EQ(db.exec("INSERT INTO Kst2 VALUES (1, 'ab')"), SQL_SUCCESS);
  EXPECT_EQ(db.exec("INSERT INTO dbo.kst2 VALUES (2, 'AB ')"), SQL_ERROR);
  EXPECT_EQ(db.diag()[0].native, 2601);
  EXPECT_EQ(db.diag()[0].message,
            "[dulmar-testdb][SQL Server]Cannot insert duplicate key row in object 'dbo.Kst2' with unique index "
            "'UX_Kst2_Code'. The duplicate key value is (AB ).");
}

TEST_F(Driver, RunLogStatementsWithTheirConversions) {
  EXPECT_EQ(db.rows(fmt(kTextLookup, 1065L)), std::vector<std::string>{"Fehler beim Schreiben der Buchung in Kvs321Bch"});
  EXPECT_TRUE(db.rows(fmt(kTextLookup, 4711L)).empty());
  // The program escapes apostrophes by doubling them inside literals.
  std::string insert = fmt(kLogInsert, "dulmar.exe", "20070125120000", "a b c", "", "00001001", 20070125L, "DULMAR",
                           "SQLInsertKvs321Bch", 1065L, "Fehler", 2627L, "Violation of ''PK''", "Kvs321Bch", 1L);
  time_t before = time(nullptr);
  ASSERT_EQ(db.exec(insert), SQL_SUCCESS) << db.diag()[0].message;
  auto rows = db.rows("SELECT LogPrg, LogStz, LogDtm, LogSTxt, LogTyp, LogDat FROM KvSystem.Kvs001Log WHERE LogPnr = '00001001'");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].substr(0, rows[0].rfind('|')),
            "dulmar.exe|20070125120000|2007-01-25 00:00:00.000|Violation of 'PK'|1");
  // LogDat is the local time of the insert.
  struct tm lt {};
  localtime_r(&before, &lt);
  char today[32];
  strftime(today, sizeof today, "%Y-%m-%d %H:", &lt);
  EXPECT_EQ(rows[0].substr(rows[0].rfind('|') + 1, 14), today);
  // A run-log date that is no date.
  EXPECT_EQ(db.exec(fmt(kLogInsert, "p", "s", "a", "", "1", 20071340L, "M", "F", 1L, "", 0L, "", "", 1L)), SQL_ERROR);
  EXPECT_EQ(db.diag()[0].native, 242);
}

TEST_F(Driver, DatetimesCompareAsDatetimesAndCharIsPadded) {
  ASSERT_EQ(db.exec("CREATE TABLE Times (T datetime NOT NULL, C char(5) NULL, V varchar(5) NULL)"), SQL_SUCCESS);
  ASSERT_EQ(db.exec("INSERT INTO Times VALUES ('2007-01-25 9:05', 'ab', 'ab  '), ('20070125 10:00', NULL, 'x')"),
            SQL_SUCCESS);
  EXPECT_EQ(db.rows("SELECT T, C, V FROM Times WHERE T > '2007-01-25 09:30' ORDER BY T"),
            std::vector<std::string>{"2007-01-25 10:00:00.000|NULL|x"});
  EXPECT_EQ(db.rows("SELECT T, C, V FROM Times WHERE C = 'AB' AND V = 'ab'"),
            std::vector<std::string>{"2007-01-25 09:05:00.000|ab   |ab  "});
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM Times WHERE T BETWEEN convert(DATETIME, '20070125', 112) AND "
                    "convert(DATETIME, '2007-01-25 23:59:59', 120)"),
            std::vector<std::string>{"2"});
}

TEST_F(Driver, UpdateDeleteForeignKeysAndBatches) {
  ASSERT_EQ(db.exec("CREATE TABLE Parent (Id int NOT NULL CONSTRAINT PK_Parent PRIMARY KEY, Name varchar(3) NULL); "
                    "CREATE TABLE Child (Id int NOT NULL, ParentId int NOT NULL CONSTRAINT FK_Child_Parent "
                    "REFERENCES Parent (Id))\nGO\nINSERT INTO Parent VALUES (1, 'one')"),
            SQL_SUCCESS);
  EXPECT_EQ(db.exec("INSERT INTO Child VALUES (1, 2)"), SQL_ERROR);
  EXPECT_EQ(db.diag()[0].native, 547);
  EXPECT_EQ(db.diag()[0].message,
            "[dulmar-testdb][SQL Server]The INSERT statement conflicted with the FOREIGN KEY constraint "
            "\"FK_Child_Parent\". The conflict occurred in database \"main\", table \"dbo.Parent\", column 'Id'.");
  ASSERT_EQ(db.exec("INSERT INTO Child VALUES (1, 1)"), SQL_SUCCESS);
  EXPECT_EQ(db.exec("DELETE FROM Parent WHERE Id = 1"), SQL_ERROR);
  EXPECT_EQ(db.diag()[0].message,
            "[dulmar-testdb][SQL Server]The DELETE statement conflicted with the REFERENCE constraint "
            "\"FK_Child_Parent\". The conflict occurred in database \"main\", table \"dbo.Child\", column "
            "'ParentId'.");
  EXPECT_EQ(db.exec("UPDATE Parent SET Name = 'four' WHERE Id = 1"), SQL_ERROR);
  EXPECT_EQ(db.diag()[0].native, 8152);
  ASSERT_EQ(db.exec("UPDATE dbo.PARENT SET Name = Name + 'x' WHERE [Id] = 1"), SQL_ERROR);
  EXPECT_EQ(db.diag()[0].native, 8152);
  ASSERT_EQ(db.exec("UPDATE Parent SET Name = 'tw' + 'o' WHERE Id = 1"), SQL_SUCCESS);
  ASSERT_EQ(db.exec("DELETE Child WHERE ParentId = 1; DELETE FROM Parent WHERE Name = 'TWO'"), SQL_SUCCESS);
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM Parent p LEFT JOIN Child c ON c.ParentId = p.Id"),
            std::vector<std::string>{"0"});
  EXPECT_EQ(db.exec("SELECT Nope FROM Parent"), SQL_ERROR);
  EXPECT_EQ(db.diag()[0].native, 207);
  EXPECT_EQ(db.diag()[0].message, "[dulmar-testdb][SQL Server]Invalid column name 'Nope'.");
}

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

// A network blip: statements 2 and 4 (counted over the data source's
// connections) are lost with the link; a new connection works again.
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

// The statement ran, only its answer was lost: running it again meets its own row.
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

// As on SQL Server, a lost link rolls back the connection's open transaction
// and lets go of its locks, so other connections can write at once.
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

// The server is down after the break: connecting fails as it does against an
// address where nothing listens, and the other open connections lose their link.
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
