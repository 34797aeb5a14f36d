// The program's Database over this driver: what it must not send, and the
// limits it gives the driver, seen where a statement could really run.

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace testdb_test
