#include "db/database.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "common/field.h"
#include "db/restore_schedule.h"

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
  EXPECT_EQ(database.batchSize(), 1u);
  BookingRecord records[2] = {booking(), booking()};
  Resolution res[2];
  EXPECT_EQ(database.resolveBookings(records, res), 2u);
  for (const Resolution& r : res) {
    EXPECT_EQ(r.badge, -1);
    EXPECT_FALSE(r.badgeDiag.recorded);
  }
  EXPECT_STREQ(records[0].personnelNumber, "4711");
  // A failure is never kept as an answer.
  EXPECT_EQ(database.lookupCache().size(), 0u);

  StatementOutcome outcomes[2];
  EXPECT_EQ(database.insertBookings(records, "KSW", outcomes), 2u);
  EXPECT_EQ(outcomes[1].result, -1);
  EXPECT_FALSE(outcomes[1].diag.recorded);
  RunLogRecord rows[1] = {};
  rows[0].LogTErr = 1065;
  EXPECT_EQ(database.writeRunLogRows(rows, std::span<StatementOutcome>(outcomes, 1)), 1u);
  EXPECT_EQ(outcomes[0].result, -1);
  EXPECT_FALSE(outcomes[0].diag.recorded);
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

// Whether requests go in batches rests on both batch bits, the explicit row
// counts, several result sets, and a server that is SQL Server by name.
TEST(Database, BatchesOnlyForSqlServerWithEveryBitNeeded) {
  const SQLUINTEGER both = SQL_BS_SELECT_EXPLICIT | SQL_BS_ROW_COUNT_EXPLICIT;
  EXPECT_TRUE(takesBatches("Y", both, SQL_BRC_EXPLICIT, "Microsoft SQL Server"));
  EXPECT_FALSE(takesBatches("Y", SQL_BS_SELECT_EXPLICIT, SQL_BRC_EXPLICIT, "Microsoft SQL Server"));
  EXPECT_FALSE(takesBatches("Y", SQL_BS_ROW_COUNT_EXPLICIT, SQL_BRC_EXPLICIT, "Microsoft SQL Server"));
  EXPECT_FALSE(takesBatches("Y", both, SQL_BRC_PROCEDURES, "Microsoft SQL Server"));
  EXPECT_FALSE(takesBatches("N", both, SQL_BRC_EXPLICIT, "Microsoft SQL Server"));
  EXPECT_FALSE(takesBatches(nullptr, both, SQL_BRC_EXPLICIT, "Microsoft SQL Server"));
  EXPECT_FALSE(takesBatches("Y", both, SQL_BRC_EXPLICIT, "Adaptive Server Enterprise"));
  EXPECT_FALSE(takesBatches("Y", both, SQL_BRC_EXPLICIT, nullptr));
  EXPECT_TRUE(isSqlServer("Microsoft SQL Server"));
  EXPECT_FALSE(isSqlServer("Server"));
}

// Restoring a lost link: the waits in their order, each login limited to what
// is left of their sum and a second, rounded up (0 would be no limit at all),
// at most the cap; no attempt whose wait would reach the end.
TEST(Database, RestoreAttemptsKeepTheirOrderAndEachLoginItsLimit) {
  using std::chrono::milliseconds;
  using std::chrono::seconds;
  const RestoreSchedule::Clock::time_point t0 = RestoreSchedule::Clock::now();
  RestoreSchedule schedule({0, 1000, 2000, 4000, 8000}, kRestoreLoginTimeoutSeconds, t0);
  EXPECT_EQ(schedule.nextWait(t0), 0);
  EXPECT_EQ(schedule.loginSeconds(t0), kRestoreLoginTimeoutSeconds);  // 16 s left
  EXPECT_EQ(schedule.nextWait(t0 + seconds(5)), 1000);
  EXPECT_EQ(schedule.loginSeconds(t0 + milliseconds(13200)), 3);
  EXPECT_EQ(schedule.loginSeconds(t0 + milliseconds(15900)), 1);
  EXPECT_EQ(schedule.loginSeconds(t0 + seconds(16)), 0);
  EXPECT_EQ(schedule.nextWait(t0 + seconds(6)), 2000);
  EXPECT_EQ(schedule.nextWait(t0 + seconds(9)), 4000);
  EXPECT_EQ(schedule.nextWait(t0 + seconds(8)), -1);  // 8 more seconds reach the end
  EXPECT_EQ(schedule.nextWait(t0), -1);               // none left
}
