#include "tds/connection.h"

#include <gtest/gtest.h>

#include "tds/connection_test_fixture.h"
#include "tds/options.h"
#include "tds/results.h"
#include "tds/tds_test_support.h"
#include "tds/tokens.h"
#include "tds/wire.h"

namespace testdb::tds {
namespace {

using test::ConnectionTest;
using test::ReadToken;

TEST_F(ConnectionTest, LoginIsAnsweredAsSqlServerAnswersIt) {
  test::LoginFields f;
  f.user = "DULMAR";  // logins compare without case
  f.database = "Attendance";
  f.packetSize = 8192;
  Next next;
  auto t = login(f, &next);
  EXPECT_EQ(next, Next::Continue);
  ASSERT_EQ(test::tokenTypes(t), "e3 ab e3 e3 ab ad e3 fd");
  EXPECT_EQ(t[0].envType, kEnvDatabase);
  EXPECT_EQ(t[0].text, "attendance");
  EXPECT_EQ(t[1].number, 5701);
  EXPECT_EQ(t[1].text, "Changed database context to 'attendance'.");
  EXPECT_EQ(t[2].envType, kEnvCollation);
  EXPECT_EQ(t[2].text, "0904d00034");
  EXPECT_EQ(t[3].text, "us_english");
  EXPECT_EQ(t[4].number, 5703);
  EXPECT_EQ(t[5].version, 0x74000004u);
  EXPECT_EQ(t[5].text, "Microsoft SQL Server");
  EXPECT_EQ(t[6].envType, kEnvPacketSize);
  EXPECT_EQ(t[6].text, "8192");
  EXPECT_EQ(t[7].status, 0);
  EXPECT_EQ(connection().packetSize(), 8192u);
}

TEST_F(ConnectionTest, OlderClientsAreAnsweredInTheirVersionAndPacketSizesKeptInBounds) {
  test::LoginFields f;
  f.user = "dulmar";
  f.tdsVersion = kTds72;
  f.packetSize = 100;
  auto t = login(f);
  ASSERT_EQ(t.size(), 8u);
  EXPECT_EQ(t[5].version, kTds72);
  EXPECT_EQ(t[6].text, "512");
}

TEST_F(ConnectionTest, AWrongPasswordOrLoginFailsWith18456AndCloses) {
  for (auto [user, password] : {std::pair{"dulmar", "Secret"}, std::pair{"other", "secret"}}) {
    connection_.reset();
    test::LoginFields f;
    f.user = user;
    f.password = password;
    Next next;
    auto t = login(f, &next);
    EXPECT_EQ(next, Next::Close);
    ASSERT_EQ(test::tokenTypes(t), "aa fd");
    EXPECT_EQ(t[0].number, 18456);
    EXPECT_EQ(t[0].severity, 14);
    EXPECT_EQ(t[0].state, 1);
    EXPECT_EQ(t[0].text, std::string("Login failed for user '") + user + "'.");
    EXPECT_EQ(t[1].status, kDoneError);
  }
}

TEST_F(ConnectionTest, AnotherDatabaseOrAnOldVersionIsRefused) {
  test::LoginFields f;
  f.user = "dulmar";
  f.database = "payroll";
  Next next;
  auto t = login(f, &next);
  EXPECT_EQ(next, Next::Close);
  ASSERT_EQ(test::tokenTypes(t), "aa aa fd");
  EXPECT_EQ(t[0].number, 4060);
  EXPECT_EQ(t[1].number, 18456);

  connection_.reset();
  f.database.clear();
  f.tdsVersion = 0x71000001;
  t = login(f, &next);
  EXPECT_EQ(next, Next::Close);
  ASSERT_EQ(test::tokenTypes(t), "aa fd");
  EXPECT_NE(t[0].text.find("7.2 to 7.4"), std::string::npos);
}

TEST_F(ConnectionTest, NothingButPreloginOrLoginBeforeTheLogin) {
  Next next;
  auto t = batch("SELECT 1", &next);
  EXPECT_EQ(next, Next::Close);
  EXPECT_TRUE(t.empty());
  t = send(kLogin7, {1, 2, 3}, &next);  // a LOGIN7 too short to read
  EXPECT_EQ(next, Next::Close);
}

TEST_F(ConnectionTest, PreloginOnlyBeforeTheLogin) {
  std::vector<uint8_t> reply;
  const std::vector<uint8_t> prelogin = {0xff};
  EXPECT_EQ(connection().handle(kPrelogin, prelogin, reply), Next::Continue);
  EXPECT_EQ(reply, preloginReply());
  loginOk();
  EXPECT_EQ(connection().handle(kPrelogin, prelogin, reply), Next::Close);
}

TEST_F(ConnectionTest, ABatchOfSeveralStatementsGivesOneDoneEach) {
  loginOk();
  auto t = batch("CREATE TABLE t (a int NOT NULL, b varchar(10), c char(4), d datetime);\n"
                 "INSERT INTO t VALUES (1, 'x\x80', 'ab', '2024-01-31 12:34:56.007');\n"
                 "INSERT INTO t VALUES (2, NULL, NULL, NULL)\n"
                 "SELECT a, b, c, d FROM t ORDER BY a");
  ASSERT_EQ(test::tokenTypes(t), "fd fd fd 81 d1 d1 fd");
  EXPECT_EQ(t[0].status, kDoneMore);
  EXPECT_EQ(t[1].status, kDoneMore | kDoneCount);
  EXPECT_EQ(t[1].count, 1u);
  EXPECT_EQ(t[2].status, kDoneMore | kDoneCount);
  EXPECT_EQ(t[3].cells, (std::vector<std::string>{"26:4 a", "a7:10 b", "af:4 c", "6f:8 d"}));
  // 2024-01-31 is day 45320 after 1900-01-01; 12:34:56.007 is 13588802 ticks of 1/300 s.
  EXPECT_EQ(t[4].cells, (std::vector<std::string>{"1", "x\x80", "ab  ", "days=45320 ticks=13588802"}));
  EXPECT_EQ(t[5].cells, (std::vector<std::string>{"2", "NULL", "NULL", "NULL"}));
  EXPECT_EQ(t[6].status, kDoneCount);
  EXPECT_EQ(t[6].count, 2u);
}

// A batch without separators: a constraint error ends only its statement
// (both messages, its line, DONE_ERROR with DONE_MORE), the next one runs; a
// conversion error ends the batch.
TEST_F(ConnectionTest, ErrorsInMidBatchEndTheirStatementOrTheBatch) {
  loginOk();
  batch("CREATE TABLE t (a int NOT NULL, CONSTRAINT PK_T PRIMARY KEY (a)); INSERT INTO t VALUES (1)");
  auto t = batch("INSERT INTO t VALUES (3)\nINSERT INTO t VALUES (1)\nINSERT INTO t VALUES (2)");
  ASSERT_EQ(test::tokenTypes(t), "fd aa ab fd fd");
  EXPECT_EQ(t[0].status, kDoneMore | kDoneCount);
  EXPECT_EQ(t[1].number, 2627);
  EXPECT_EQ(t[1].severity, 14);
  EXPECT_EQ(t[1].line, 2);
  EXPECT_EQ(t[1].text.rfind("Violation of PRIMARY KEY constraint 'PK_T'.", 0), 0u);
  EXPECT_EQ(t[2].number, 3621);
  EXPECT_EQ(t[2].severity, 0);
  EXPECT_EQ(t[2].text, "The statement has been terminated.");
  EXPECT_EQ(t[3].status, kDoneError | kDoneMore);
  EXPECT_EQ(t[4].status, kDoneCount);
  EXPECT_EQ(t[4].count, 1u);
  t = batch("INSERT INTO t VALUES (4)\n\nINSERT INTO t VALUES ('x')\nINSERT INTO t VALUES (5)");
  ASSERT_EQ(test::tokenTypes(t), "fd aa fd");
  EXPECT_EQ(t[1].number, 245);
  EXPECT_EQ(t[1].line, 3);
  EXPECT_EQ(t[2].status, kDoneError);
  t = batch("SELECT COUNT(*) FROM t");
  ASSERT_EQ(test::tokenTypes(t), "81 d1 fd");
  EXPECT_EQ(t[1].cells[0], "4");
}

TEST_F(ConnectionTest, ASyntaxErrorAnywhereInABatchRunsNoneOfIt) {
  loginOk();
  auto t = batch("CREATE TABLE t (a int); INSERT INTO t VALUES (1); INSERT INTO t VALUES (2,,)");
  ASSERT_EQ(test::tokenTypes(t), "aa fd");
  EXPECT_EQ(t[0].number, 102);
  t = batch("SELECT * FROM t");
  ASSERT_EQ(test::tokenTypes(t), "aa fd");
  EXPECT_EQ(t[0].number, 208);
}

TEST_F(ConnectionTest, SyntaxErrorsAndUnknownTablesAreErrorsOfTheirSeverity) {
  loginOk();
  auto t = batch("SELECT * FROM nowhere");
  ASSERT_EQ(test::tokenTypes(t), "aa fd");
  EXPECT_EQ(t[0].number, 208);
  EXPECT_EQ(t[0].severity, 16);
  EXPECT_EQ(t[0].text, "Invalid object name 'nowhere'.");
  t = batch("SELECT 'open");
  ASSERT_EQ(test::tokenTypes(t), "aa fd");
  EXPECT_EQ(t[0].number, 105);
  EXPECT_EQ(t[0].severity, 15);
}

TEST_F(ConnectionTest, GoInsideABatchIsASyntaxError) {
  loginOk();
  // GO is a command of the client tools; isql -n, which does not know it, joins it to the next line
  auto t = batch("go CREATE TABLE t (a int)");
  ASSERT_EQ(test::tokenTypes(t), "aa fd");
  EXPECT_EQ(t[0].number, 102);
  EXPECT_EQ(t[0].text, "Incorrect syntax near 'go'.");
  t = batch("CREATE TABLE t (a int)\n  GO\nSELECT COUNT(*) FROM t");
  ASSERT_EQ(test::tokenTypes(t), "aa fd");
  EXPECT_EQ(t[0].line, 2);
}

TEST_F(ConnectionTest, TheSetStatementsOfClientsAndEmptyBatchesAreAccepted) {
  loginOk();
  auto t = batch("set textsize 2147483647\nset quoted_identifier on\nset ansi_nulls on\nset xact_abort off");
  ASSERT_EQ(test::tokenTypes(t), "fd fd fd fd");
  EXPECT_EQ(t[0].status, kDoneMore);
  EXPECT_EQ(t[3].status, 0);
  t = batch("  -- nothing\n");
  ASSERT_EQ(test::tokenTypes(t), "fd");
  EXPECT_EQ(t[0].status, 0);
}

TEST_F(ConnectionTest, RpcAndTransactionManagerRequestsAreRefusedAndTheConnectionGoesOn) {
  loginOk();
  Next next;
  auto t = send(kRpc, {0xff, 0xff, 10, 0}, &next);
  EXPECT_EQ(next, Next::Continue);
  ASSERT_EQ(test::tokenTypes(t), "aa fd");
  EXPECT_NE(t[0].text.find("RPC requests"), std::string::npos);
  t = send(kTransactionManager, {}, &next);
  EXPECT_EQ(next, Next::Continue);
  ASSERT_EQ(test::tokenTypes(t), "aa fd");
  t = batch("SELECT 1");
  EXPECT_EQ(test::tokenTypes(t), "81 d1 fd");
}

TEST_F(ConnectionTest, AttentionIsAcknowledged) {
  loginOk();
  auto t = send(kAttention, {});
  ASSERT_EQ(test::tokenTypes(t), "fd");
  EXPECT_EQ(t[0].status, kDoneAttention);
}

TEST_F(ConnectionTest, AMalformedBatchEndsTheConnection) {
  loginOk();
  Next next;
  auto t = send(kSqlBatch, {0x40, 0, 0, 0, 1}, &next);
  EXPECT_EQ(next, Next::Close);
  ASSERT_EQ(test::tokenTypes(t), "aa fd");
  EXPECT_EQ(t[0].number, 4002);
}

TEST_F(ConnectionTest, AnInjectedFailureAndAConnectionBreak) {
  config_.faults.failOnText = "Kvs001Log";
  config_.faults.failNative = 547;
  config_.faults.failMessage = "injected";
  config_.faults.breakAfterStatements = 3;
  loginOk();
  auto t = batch("SELECT 1");
  EXPECT_EQ(test::tokenTypes(t), "81 d1 fd");
  t = batch("INSERT INTO Kvs001Log VALUES (1)");
  ASSERT_EQ(test::tokenTypes(t), "aa ab fd");
  EXPECT_EQ(t[0].number, 547);
  EXPECT_EQ(t[0].text, "injected");
  EXPECT_EQ(t[1].number, 3621);
  t = batch("SELECT 2");
  EXPECT_EQ(test::tokenTypes(t), "81 d1 fd");
  Next next;
  t = batch("SELECT 3", &next);
  EXPECT_EQ(next, Next::Close);
  EXPECT_TRUE(t.empty());
}

TEST_F(ConnectionTest, BreaksCountOverAllConnectionsAndMayLetTheStatementRun) {
  config_.faults.breakAtStatements = {2};
  config_.faults.breakAfterRunning = true;
  loginOk();
  EXPECT_EQ(test::tokenTypes(batch("CREATE TABLE t (a int)")), "fd");
  // a second connection of the same server goes on counting
  auto second = std::make_unique<Connection>(config_, plan_);
  std::vector<uint8_t> reply;
  test::LoginFields f;
  f.user = "dulmar";
  ASSERT_EQ(second->handle(kLogin7, test::login7(f), reply), Next::Continue);
  EXPECT_EQ(second->handle(kSqlBatch, test::sqlBatch("INSERT INTO t VALUES (1)"), reply), Next::Close);
  EXPECT_TRUE(reply.empty());
  // the insert ran; only its answer was lost
  auto t = batch("SELECT COUNT(*) FROM t");
  ASSERT_EQ(test::tokenTypes(t), "81 d1 fd");
  EXPECT_EQ(t[1].cells[0], "1");
}

TEST_F(ConnectionTest, AServerDownAfterABreakTakesEveryConnectionAndRefusesNewOnes) {
  config_.faults.breakAtStatements = {1};
  config_.faults.refuseConnectAfterBreak = true;
  loginOk();
  auto other = std::make_unique<Connection>(config_, plan_);
  std::vector<uint8_t> reply;
  test::LoginFields f;
  f.user = "dulmar";
  ASSERT_EQ(other->handle(kLogin7, test::login7(f), reply), Next::Continue);
  Next next;
  batch("SELECT 1", &next);
  EXPECT_EQ(next, Next::Close);
  EXPECT_EQ(other->handle(kSqlBatch, test::sqlBatch("SELECT 1"), reply), Next::Close);
  auto late = std::make_unique<Connection>(config_, plan_);
  EXPECT_EQ(late->handle(kLogin7, test::login7(f), reply), Next::Close);
  EXPECT_TRUE(reply.empty());
}

TEST(Results, TypesOnTheWireFollowTheDeclaredTypes) {
  auto column = [](const char* label, ColumnType type, int length, int scale = 0) {
    ResultColumn c;
    c.label = label;
    c.type = TypeSpec{type, length, scale};
    c.typeKnown = true;
    return c;
  };
  std::vector<ResultColumn> columns = {column("s", ColumnType::SmallInt, 0), column("g", ColumnType::BigInt, 0),
                                       column("f", ColumnType::Float, 0),    column("m", ColumnType::Decimal, 9, 2),
                                       column("v", ColumnType::VarChar, -1), ResultColumn{}};
  columns.back().label = "x";
  std::vector<uint8_t> out;
  writeColumnMetadata(out, columns);
  writeRow(out, columns,
           {Value::integer(-2), Value::integer(1LL << 40), Value::real(1.5), Value::real(-12.345), Value::text("long"),
            Value::integer(7)});
  // a datetime before 1900 counts its days backwards
  std::vector<ResultColumn> dates = {column("d", ColumnType::DateTime, 0)};
  writeColumnMetadata(out, dates);
  writeRow(out, dates, {Value::text("1753-01-01 00:00:00.000")});
  writeRow(out, dates, {Value::text("no date")});
  std::vector<ReadToken> t;
  ASSERT_EQ(test::readTokens(out, t), 0);
  ASSERT_EQ(test::tokenTypes(t), "81 d1 81 d1 d1");
  EXPECT_EQ(t[0].cells, (std::vector<std::string>{"26:2 s", "26:8 g", "6d:8 f", "6a:5 m", "a7:8000 v", "a7:8000 x"}));
  EXPECT_EQ(t[1].cells, (std::vector<std::string>{"-2", "1099511627776", "1.5", "-1235", "long", "7"}));
  EXPECT_EQ(t[3].cells[0], "days=-53690 ticks=0");
  EXPECT_EQ(t[4].cells[0], "NULL");
}

TEST(Options, KeysAndOptionsAreReadAndBadOnesRefused) {
  ServerOptions o;
  std::string error;
  ASSERT_EQ(parseOptions({"--database", "/tmp/a/attendance.db", "--login", "sa", "--password", "pw", "--latency-ms",
                          "0.5", "FailOnText='42'", "BreakAfterStatements=4", "FailStmtAllocFrom=2"},
                         o, error),
            0)
      << error;
  EXPECT_EQ(o.config.databaseName, "attendance");
  EXPECT_EQ(o.listen, "127.0.0.1");
  EXPECT_EQ(o.port, 0);
  EXPECT_DOUBLE_EQ(o.latencyMs, 0.5);
  EXPECT_DOUBLE_EQ(o.bandwidthMbit, 0);
  EXPECT_EQ(o.config.faults.failOnText, "'42'");
  EXPECT_EQ(o.config.faults.breakAfterStatements, 4);
  EXPECT_EQ(o.ignoredKeys, std::vector<std::string>{"FailStmtAllocFrom"});
  ASSERT_EQ(parseOptions({"--database", "x.db", "--bandwidth-mbit", "100"}, o, error), 0) << error;
  EXPECT_DOUBLE_EQ(o.bandwidthMbit, 100);
  EXPECT_NE(parseOptions({"--database", "x.db", "--bandwidth-mbit", "0"}, o, error), 0);
  EXPECT_NE(parseOptions({"--database", "x.db", "--bandwidth-mbit", "fast"}, o, error), 0);
  ASSERT_EQ(parseOptions({"--database", "x.db", "breakatstatements=3,1", "RefuseConnectAfterBreak=1"}, o, error), 0);
  EXPECT_EQ(o.config.faults.breakAtStatements, (std::vector<long>{1, 3}));
  EXPECT_TRUE(o.config.faults.refuseConnectAfterBreak);
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--login", "sa"},
                                              {"--database", "x", "--port", "70000"},
                                              {"--database", "x", "--latency-ms", "-1"},
                                              {"--database", "x", "Unknown=1"},
                                              {"--database", "x", "JournalMode=WAL;DROP"},
                                              {"--database", "x", "novalue"},
                                              {"--database"},
                                              {"--database", "x", "BreakAtStatements=2,"},
                                              {"--database", "x", "BreakAfterRunning=yes"}}) {
    EXPECT_EQ(parseOptions(bad, o, error), -1) << bad.back();
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace testdb::tds
