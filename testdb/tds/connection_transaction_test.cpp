// Transactions on the wire as the program drives them: DONE tokens without a
// count for its SETs and transaction statements, one durable commit per
// storing request, and what a deadlock, an attention, a disconnect, a break
// after a commit and SessionDefaults leave behind.

#include <gtest/gtest.h>

#include <fstream>

#include "tds/connection_test_fixture.h"
#include "tds/options.h"

namespace testdb::tds {
namespace {

using test::ConnectionTest;

// The ROW token, as [MS-TDS] 2.2.7.19 numbers it.
constexpr uint8_t kRowToken = 0xD1;

constexpr const char* kSetOptions = "SET XACT_ABORT OFF;\nSET IMPLICIT_TRANSACTIONS OFF;\nSET NOCOUNT OFF";

/// The program's storing request around INSERTs of the values.
std::string storing(std::initializer_list<int> values) {
  std::string text = "SELECT 1;\nBEGIN TRANSACTION;\n";
  for (int v : values) text += "INSERT INTO t VALUES (" + std::to_string(v) + ");\n";
  return text + "COMMIT TRANSACTION;\nSELECT @@TRANCOUNT";
}

/// A second client of the same server, logged in.
std::unique_ptr<Connection> otherClient(const ServerConfig& config, std::shared_ptr<FaultPlan> plan) {
  auto c = std::make_unique<Connection>(config, std::move(plan), kFirstSpid + 1);
  std::vector<uint8_t> reply;
  test::LoginFields f;
  f.user = "dulmar";
  EXPECT_EQ(c->handle(kLogin7, test::login7(f), reply), Next::Continue);
  return c;
}

/// The first cell of the first row a request on client c answers, or "none".
std::string valueOn(Connection& c, const std::string& sql) {
  std::vector<uint8_t> reply;
  c.handle(kSqlBatch, test::sqlBatch(sql), reply);
  std::vector<test::ReadToken> tokens;
  if (test::readTokens(reply, tokens) != 0) return "unreadable";
  for (const test::ReadToken& token : tokens) {
    if (token.type == kRowToken && !token.cells.empty()) return token.cells[0];
  }
  return "none";
}

// SET and the transaction statements answer a DONE without a count; a
// duplicate key ends only its INSERT; the request commits once, and COMMIT
// without a transaction is 3902. The count goes to the count file at disconnect.
TEST_F(ConnectionTest, TheProgramsRequestsCommitOncePerRequest) {
  const std::string countFile = file_ + ".commits";
  CommitSettings settings;
  settings.commitMs = 0.5;
  settings.countFile = countFile;
  config_.commits = std::make_shared<CommitLedger>(settings);
  loginOk();
  batch("CREATE TABLE t (a int NOT NULL, CONSTRAINT PK_t PRIMARY KEY (a))");
  auto t = batch(kSetOptions);
  ASSERT_EQ(test::tokenTypes(t), "fd fd fd");
  EXPECT_EQ(t[0].status, kDoneMore);
  EXPECT_EQ(t[2].status, 0);
  t = batch(storing({1, 2, 1, 3}));
  ASSERT_EQ(test::tokenTypes(t), "81 d1 fd fd fd fd aa ab fd fd fd 81 d1 fd");
  EXPECT_EQ(t[3].status, kDoneMore);
  EXPECT_EQ(t[4].status, kDoneMore | kDoneCount);
  EXPECT_EQ(t[6].number, 2627);
  EXPECT_EQ(t[10].status, kDoneMore);
  EXPECT_EQ(t[12].cells[0], "0");
  EXPECT_EQ(config_.commits->total(), 2);
  t = batch("COMMIT TRANSACTION");
  ASSERT_EQ(test::tokenTypes(t), "aa fd");
  EXPECT_EQ(t[0].number, 3902);
  t = batch("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION");
  ASSERT_EQ(test::tokenTypes(t), "fd");
  EXPECT_EQ(t[0].status, 0);
  EXPECT_EQ(config_.commits->total(), 2);
  connection_.reset();
  std::ifstream in(countFile);
  std::string total;
  std::getline(in, total);
  EXPECT_EQ(total, "2");
}

// DeadlockAtStatements=4 meets the second INSERT (SET, BEGIN and COMMIT are
// not numbered): 1205 of severity 13 naming the session, the transaction
// rolled back, the batch ended. A stall answered by the client's attention
// leaves the transaction open, its row unseen by others, until the
// disconnect rolls it back.
TEST_F(ConnectionTest, ADeadlockRollsBackAnAttentionLeavesTheTransactionOpen) {
  config_.faults.deadlockAtStatements = {4};
  config_.faults.stallAtStatements = {9};
  loginOk();
  batch("CREATE TABLE t (a int NOT NULL)");  // statement 1
  batch(kSetOptions);
  auto t = batch(storing({1, 2, 3}));  // 2: SELECT 1, 3 and 4: the INSERTs
  ASSERT_EQ(test::tokenTypes(t), "81 d1 fd fd fd aa fd");
  EXPECT_EQ(t[5].number, 1205);
  EXPECT_EQ(t[5].severity, 13);
  EXPECT_EQ(t[5].line, 4);
  EXPECT_EQ(t[5].text,
            "Transaction (Process ID 51) was deadlocked on lock resources with another process and has been chosen "
            "as the deadlock victim. Rerun the transaction.");
  EXPECT_EQ(t[6].status, kDoneError);
  EXPECT_EQ(valueOn(connection(), "SELECT COUNT(*) FROM t"), "0");  // 5
  EXPECT_EQ(valueOn(connection(), "SELECT @@TRANCOUNT"), "0");      // 6

  batch(storing({4, 5, 6}));  // 7: SELECT 1, 8: INSERT 4, 9: the stall
  EXPECT_TRUE(batch("SELECT 9").empty());
  auto ack = send(kAttention, {});
  ASSERT_EQ(test::tokenTypes(ack), "fd");
  EXPECT_EQ(ack[0].status, kDoneAttention);
  EXPECT_EQ(valueOn(connection(), "SELECT @@TRANCOUNT"), "1");
  EXPECT_EQ(valueOn(connection(), "SELECT COUNT(*) FROM t"), "1");
  auto other = otherClient(config_, nullptr);
  EXPECT_EQ(valueOn(*other, "SELECT COUNT(*) FROM t"), "0");
  connection_.reset();
  EXPECT_EQ(valueOn(*other, "INSERT INTO t VALUES (7) SELECT COUNT(*) FROM t"), "1");
}

// BreakAfterCommits=2: the request's COMMIT is durable and the link goes
// before its answer. SessionDefaults=IMPLICIT_TRANSACTIONS (read with the
// other new options): an INSERT opens a transaction the disconnect rolls back.
TEST_F(ConnectionTest, ABreakAfterTheCommitAndImplicitTransactionsFromTheServer) {
  config_.faults.breakAfterCommits = {2};
  loginOk();
  batch("CREATE TABLE t (a int NOT NULL)");  // commit 1
  Next next;
  auto t = batch(storing({1, 2}), &next);
  EXPECT_EQ(next, Next::Close);
  EXPECT_TRUE(connection().linkLost());
  EXPECT_EQ(test::tokenTypes(t), "81 d1 fd fd fd fd");
  connection_.reset();
  auto reader = otherClient(config_, nullptr);
  EXPECT_EQ(valueOn(*reader, "SELECT COUNT(*) FROM t"), "2");

  ServerOptions o;
  std::string error;
  ASSERT_EQ(parseOptions({"--database", file_, "--commit-ms", "0.5", "--commit-count-file", file_ + ".count",
                          "SessionDefaults=IMPLICIT_TRANSACTIONS", "DeadlockAtStatements=2", "BreakAfterCommits=1"},
                         o, error),
            0)
      << error;
  EXPECT_DOUBLE_EQ(o.config.commits->settings().commitMs, 0.5);
  EXPECT_EQ(o.config.commits->settings().countFile, file_ + ".count");
  EXPECT_EQ(o.config.faults.deadlockAtStatements, std::vector<long>{2});
  EXPECT_EQ(o.config.faults.breakAfterCommits, std::vector<long>{1});
  EXPECT_TRUE(o.config.implicitTransactions);
  EXPECT_FALSE(o.config.xactAbort);
  EXPECT_EQ(parseOptions({"--database", file_, "--commit-ms", "-1"}, o, error), -1);
  EXPECT_EQ(parseOptions({"--database", file_, "SessionDefaults=ANSI_NULLS"}, o, error), -1);
  ASSERT_EQ(parseOptions({"--database", file_, "SessionDefaults=IMPLICIT_TRANSACTIONS"}, o, error), 0);
  {
    auto implicit = otherClient(o.config, nullptr);
    EXPECT_EQ(valueOn(*implicit, "INSERT INTO t VALUES (3) SELECT @@TRANCOUNT"), "1");
    EXPECT_EQ(valueOn(*implicit, "SELECT COUNT(*) FROM t"), "3");
    EXPECT_EQ(valueOn(*reader, "SELECT COUNT(*) FROM t"), "2");
  }
  EXPECT_EQ(valueOn(*reader, "SELECT COUNT(*) FROM t"), "2");
}

}  // namespace
}  // namespace testdb::tds
