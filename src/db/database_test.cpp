#include "db/database.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/field.h"

namespace {
BookingRecord booking() {
  BookingRecord r{};
  copyField(r.date, "250107");
  copyField(r.time, "080000");
  copyField(r.badge, "1001");
  copyField(r.personnelNumber, "4711");
  copyField(r.costCentre, "KST");
  return r;
}
}  // namespace

TEST(Database, UnknownDataSourceIsRefusedWithTheDriverManagersDiagnostic) {
  Database database;
  Diagnostic diag{};
  std::vector<Diagnostic> further;
  EXPECT_EQ(database.connect("login", "password", "dulmar-no-such-data-source", diag, further), -1);
  EXPECT_TRUE(diag.recorded);
  EXPECT_STREQ(diag.state, "IM002");  // data source not found
  EXPECT_GT(std::strlen(diag.message), 0u);
  // A second attempt starts afresh on new handles.
  Diagnostic again{};
  EXPECT_EQ(database.connect("login", "password", "dulmar-no-such-data-source", again, further), -1);
  EXPECT_STREQ(again.state, "IM002");
}

TEST(Database, WithoutAConnectionNothingRunsAndNothingIsDiagnosed) {
  Database database;
  BookingRecord r = booking();
  char licence[kLicenceCapacity] = "L";
  char tenant[kTenantCapacity] = "T";
  Diagnostic lookupDiag{};
  EXPECT_EQ(database.lookUpBadge(r, licence, tenant, lookupDiag), -1);
  EXPECT_STREQ(r.personnelNumber, "4711");
  EXPECT_STREQ(licence, "L");
  char schema[sizeof BookingRecord::schema] = "S";
  EXPECT_EQ(database.lookUpSchema("1", "7", schema, lookupDiag), -1);
  EXPECT_STREQ(schema, "S");
  char costCentre[sizeof BookingRecord::costCentre] = "C";
  EXPECT_EQ(database.lookUpCostCentre("123", costCentre, lookupDiag), -1);
  EXPECT_FALSE(lookupDiag.recorded);
  EXPECT_STREQ(costCentre, "C");
  // A failure is never kept as an answer.
  EXPECT_EQ(database.lookupCache().size(), 0u);

  Diagnostic diag{};
  EXPECT_EQ(database.insertBooking(r, "KSW", diag), -1);
  RunLogRecord row{};
  row.LogTErr = 1065;
  EXPECT_EQ(database.writeRunLogRow(row, diag), -1);
  EXPECT_FALSE(diag.recorded);
  EXPECT_FALSE(database.link().lost);  // there never was a link to lose
}

// What the README promises an operator: a login that is never answered is
// given up after 30 seconds, a request after two minutes, and a restore's
// logins fit its 15 seconds.
TEST(Database, TimeLimitsAreTheOnesTheReadmeStates) {
  Database database;
  EXPECT_EQ(database.timeouts().loginSeconds, 30);
  EXPECT_EQ(database.timeouts().requestSeconds, 120);
  EXPECT_EQ(kRestoreLoginTimeoutSeconds, 5);
}
