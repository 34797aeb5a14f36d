// The requests the program's Database sends, read back from the driver's
// request log: how many bookings share a request and its transaction, which
// go alone, and what every connection is told first.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/field.h"
#include "db/database.h"
#include "db/statements.h"
#include "odbc/odbc_test_support.h"

namespace testdb_test {
namespace {

/// The texts of the request log, in order.
std::vector<std::string> readRequestLog(const std::string& path) {
  std::string data;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) data.append(chunk, n);
    std::fclose(f);
  }
  std::vector<std::string> out;
  for (size_t at = 0; at < data.size();) {
    const size_t end = data.find('\n', at);
    if (end == std::string::npos) break;
    const size_t length = std::stoul(data.substr(at, end - at));
    out.push_back(data.substr(end + 1, length));
    at = end + 1 + length + 1;
  }
  return out;
}

size_t countOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

BookingRecord booking(int i, const char* date = "250107", const char* time = "081200") {
  BookingRecord r{};
  copyField(r.date, date);
  copyField(r.time, time);
  copyField(r.badge, "0000100001");
  copyField(r.workstation, "42");
  char pnr[sizeof r.personnelNumber];
  std::snprintf(pnr, sizeof pnr, "%08u", static_cast<unsigned>(i) % 100000000u);
  copyField(r.personnelNumber, pnr);
  copyField(r.costCentre, "NET");
  return r;
}

class ProgramRequests : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = tempDir();
    log = dir + "/requests.log";
    ASSERT_EQ(writeDsn(dir + "/odbc", "logged", dir + "/main.db", {"RequestLog=" + log}), 0);
    Connection admin;
    ASSERT_EQ(admin.open("logged"), SQL_SUCCESS);
    ASSERT_EQ(loadScript(admin, std::string(DULMAR_SQL_DIR) + "/schema.sql"), 0);
    ASSERT_EQ(loadScript(admin, std::string(DULMAR_SQL_DIR) + "/demo-data.sql"), 0);
    std::filesystem::remove(log);
    std::vector<Diagnostic> further;
    Diagnostic diag{};
    ASSERT_EQ(database.connect("sa", "secret", "logged", diag, further), 0) << diag.message;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string dir, log;
  Database database;
};

// A connection is told its session options first. A thousand bookings go in
// two requests of 500, each one transaction with a row after its commit; a
// booking whose time names no real hour and minute, or whose day is no real
// day, goes alone, in a transaction of its own, and so does its badge lookup.
TEST_F(ProgramRequests, FiveHundredBookingsShareATransactionAndAnUnrealDayOrTimeGoesAlone) {
  std::vector<BookingRecord> records;
  for (int i = 0; i < 1000; ++i) records.push_back(booking(i));
  std::vector<StatementOutcome> outcomes(records.size());
  ASSERT_EQ(database.insertBookings(records, "KSW", outcomes), records.size());
  for (const StatementOutcome& o : outcomes) ASSERT_EQ(o.result, 0);
  std::vector<std::string> sent = readRequestLog(log);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0], "SET XACT_ABORT OFF;\nSET IMPLICIT_TRANSACTIONS OFF;\nSET NOCOUNT OFF");
  for (size_t r = 1; r < 3; ++r) {
    EXPECT_EQ(countOf(sent[r], "INSERT INTO KVS321BCH"), 500u);
    EXPECT_EQ(sent[r].rfind("SELECT 1;\nBEGIN TRANSACTION;\nINSERT INTO KVS321BCH", 0), 0u);
    const std::string end = "');\nCOMMIT TRANSACTION;\nSELECT @@TRANCOUNT";
    EXPECT_EQ(sent[r].substr(sent[r].size() - end.size()), end);
  }

  std::filesystem::remove(log);
  BookingRecord three[3] = {booking(2001), booking(2002, "250107", "256000"), booking(2003)};
  ASSERT_EQ(database.insertBookings(three, "KSW", std::span<StatementOutcome>(outcomes.data(), 3)), 3u);
  EXPECT_EQ(outcomes[0].result, 0);
  EXPECT_EQ(outcomes[1].result, -1);
  EXPECT_EQ(outcomes[2].result, 0);
  sent = readRequestLog(log);
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(countOf(sent[0], "INSERT INTO"), 1u);
  EXPECT_NE(sent[0].find("'00002001'"), std::string::npos);
  EXPECT_EQ(countOf(sent[1], "INSERT INTO"), 1u);
  EXPECT_NE(sent[1].find("2007-01-25 25:60:00"), std::string::npos);
  EXPECT_NE(sent[1].find(kBeginTransactionStatement), std::string::npos);
  EXPECT_NE(sent.back().find("'00002003'"), std::string::npos);

  std::filesystem::remove(log);
  BookingRecord lookups[3] = {booking(1), booking(2, "320107"), booking(3)};
  Resolution res[3];
  ASSERT_EQ(database.resolveBookings(lookups, res), 3u);
  EXPECT_EQ(res[0].badge, 0);
  EXPECT_EQ(res[1].badge, -1);
  sent = readRequestLog(log);
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(countOf(sent[0], "FROM KVSYSTEM.Kvs301Asw"), 1u);
  EXPECT_NE(sent[1].find("2007-01-32 00:00:00"), std::string::npos);
  EXPECT_EQ(countOf(sent[1], "FROM KVSYSTEM.Kvs301Asw"), 1u);
}

/// The lines of a text file.
std::vector<std::string> fileLines(const std::string& path) {
  std::vector<std::string> lines;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char line[256];
    while (std::fgets(line, sizeof line, f) != nullptr) {
      std::string text(line);
      if (!text.empty() && text.back() == '\n') text.pop_back();
      lines.push_back(text);
    }
    std::fclose(f);
  }
  return lines;
}

// The time limits reach the driver where they act: 30 seconds for the first
// login, two minutes for every request, at most 5 seconds for the login of a
// restored link. A stop asked for ends the waits before a restore: no login
// is tried, and the link counts as stopped, not lost.
TEST_F(ProgramRequests, TimeLimitsActWhereTheyAreGivenAndAStopEndsTheRestore) {
  const std::string limits = dir + "/limits.log";
  ASSERT_EQ(writeDsn(dir + "/odbc", "breaks", dir + "/main.db", {"LimitLog=" + limits, "BreakAtStatements=2"}), 0);
  Database restoring;
  std::vector<Diagnostic> further;
  Diagnostic diag{};
  ASSERT_EQ(restoring.connect("sa", "secret", "breaks", diag, further), 0) << diag.message;
  BookingRecord records[3] = {booking(3001), booking(3002), booking(3003)};
  std::vector<StatementOutcome> outcomes(3);
  ASSERT_EQ(restoring.insertBookings(records, "KSW", outcomes), 3u);
  EXPECT_EQ(restoring.link().restored, 1);
  EXPECT_EQ(fileLines(limits),
            (std::vector<std::string>{"login-timeout 30", "query-timeout 120", "query-timeout 120", "login-timeout 5",
                                      "query-timeout 120", "query-timeout 120"}));

  std::filesystem::remove(limits);
  ASSERT_EQ(writeDsn(dir + "/odbc", "down", dir + "/main.db",
                     {"LimitLog=" + limits, "BreakAtStatements=2", "RefuseConnectAfterBreak=1"}),
            0);
  Database stopping;
  StopFlag stop{1};
  stopping.setStopFlag(&stop);
  ASSERT_EQ(stopping.connect("sa", "secret", "down", diag, further), 0) << diag.message;
  BookingRecord more[3] = {booking(4001), booking(4002), booking(4003)};
  EXPECT_EQ(stopping.insertBookings(more, "KSW", outcomes), 0u);
  EXPECT_TRUE(stopping.link().cancelled);
  EXPECT_FALSE(stopping.link().lost);
  EXPECT_EQ(fileLines(limits), (std::vector<std::string>{"login-timeout 30", "query-timeout 120", "query-timeout 120"}));
}

}  // namespace
}  // namespace testdb_test
