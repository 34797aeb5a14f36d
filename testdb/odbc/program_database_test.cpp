// The program's Database over this driver: what it must not send, and the
// limits it gives the driver, seen where a statement could really run.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/field.h"
#include "db/database.h"
#include "odbc/driver_test_fixture.h"

namespace testdb_test {
namespace {

class ProgramDatabase : public Driver {
 protected:
  void SetUp() override {
    Driver::SetUp();
    std::vector<Diagnostic> further;
    Diagnostic diag{};
    ASSERT_EQ(database.connect("sa", "secret", "main", diag, further), 0) << diag.message;
  }
  Database database;
};

// A badge or workstation with a byte that is no Windows-1252 character fails
// its lookup without a statement, the diagnosis untouched, while the bookings
// beside it in the same request are answered: badge, schema and cost centre.
TEST_F(ProgramDatabase, BytesNoDriverCanSendAreNeverSent) {
  BookingRecord records[3] = {};
  for (BookingRecord& r : records) {
    copyField(r.date, "250107");
    copyField(r.badge, "0000100001");
    copyField(r.workstation, "42");
  }
  copyField(records[1].badge, "0000100001\x81");
  copyField(records[2].workstation, "4\x9D"
                                    "2");
  Resolution res[3];
  ASSERT_EQ(database.resolveBookings(records, res), 3u);
  EXPECT_EQ(res[0].badge, 0);
  EXPECT_EQ(res[0].schema, 0);
  EXPECT_STREQ(records[0].schema, "MUSTER");
  EXPECT_EQ(res[0].costCentre, 0);
  EXPECT_EQ(res[1].badge, -1);
  EXPECT_FALSE(res[1].badgeDiag.recorded);
  EXPECT_EQ(res[2].badge, 0);
  EXPECT_EQ(res[2].costCentre, -1);
  EXPECT_FALSE(res[2].costCentreDiag.recorded);
  // One badge, one schema and one cost-centre statement were answered.
  EXPECT_EQ(database.lookupCache().size(), 3u);
  EXPECT_FALSE(database.link().lost);
}

// The error number's text goes into the run-log row with as much as its field
// holds: a longer text is cut to 256 characters, never fewer, and a row is
// written for each failure.
TEST_F(ProgramDatabase, ErrorTextLongerThanItsFieldIsCutToTheField) {
  Connection admin;
  ASSERT_EQ(admin.open("main"), SQL_SUCCESS);
  const std::string setText = "UPDATE Kvsystem.Kvs102Whl SET FtxDok = '%' WHERE FtxWhl = 1065 AND FtxSpr = 1";
  auto withText = [&](const std::string& text) {
    std::string sql = setText;
    return sql.replace(sql.find('%'), 1, text);
  };
  ASSERT_EQ(admin.exec(withText(std::string(300, 'T'))), SQL_SUCCESS);
  RunLogRecord records[2] = {};
  for (RunLogRecord& r : records) {
    r.LogTErr = 1065;
    r.LogTyp = 1;
    r.LogDtm = 20070125;
  }
  StatementOutcome outcomes[2] = {};
  database.writeRunLogRows(records, outcomes);
  EXPECT_EQ(outcomes[0].result, 0) << outcomes[0].diag.message;
  EXPECT_EQ(outcomes[1].result, 0) << outcomes[1].diag.message;
  EXPECT_EQ(std::string(records[0].LogTTxt), std::string(sizeof records[0].LogTTxt - 1, 'T'));
  EXPECT_EQ(admin.rows("SELECT LEN(LogTTxt) FROM KvSystem.Kvs001Log WHERE LogTErr = 1065"),
            (std::vector<std::string>{"256", "256"}));
  ASSERT_EQ(admin.exec("DELETE FROM KvSystem.Kvs001Log"), SQL_SUCCESS);
  ASSERT_EQ(admin.exec(withText("Fehler beim Schreiben der Buchung in Kvs321Bch")), SQL_SUCCESS);
}

}  // namespace
}  // namespace testdb_test
