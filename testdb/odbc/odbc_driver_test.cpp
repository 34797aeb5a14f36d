// The driver through unixODBC's driver manager with the statement texts the
// program sends, against sql/schema.sql and sql/demo-data.sql.

#include <gtest/gtest.h>

#include <ctime>

#include "odbc/driver_test_fixture.h"

namespace testdb_test {
namespace {

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
  EXPECT_EQ(db.diag()[0].message, "[dulmar-testdb][SQL Server]Cannot insert the value NULL into column 'BchFcd', table "
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
  EXPECT_EQ(db.rows(fmt(kTextLookup, 1065L)),
            std::vector<std::string>{"Fehler beim Schreiben der Buchung in Kvs321Bch"});
  EXPECT_TRUE(db.rows(fmt(kTextLookup, 4711L)).empty());
  // The program escapes apostrophes by doubling them inside literals.
  std::string insert = fmt(kLogInsert, "dulmar.exe", "20070125120000", "a b c", "", "00001001", 20070125L, "DULMAR",
                           "SQLInsertKvs321Bch", 1065L, "Fehler", 2627L, "Violation of ''PK''", "Kvs321Bch", 1L);
  time_t before = time(nullptr);
  ASSERT_EQ(db.exec(insert), SQL_SUCCESS) << db.diag()[0].message;
  auto rows = db.rows(
      "SELECT LogPrg, LogStz, LogDtm, LogSTxt, LogTyp, LogDat FROM KvSystem.Kvs001Log WHERE LogPnr = '00001001'");
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
                    "REFERENCES Parent (Id))\nINSERT INTO Parent VALUES (1, 'one')"),
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

}  // namespace
}  // namespace testdb_test
