// Fault decisions shared by the front ends: keys, statement numbers across
// connections, a downed server.

#include "engine/faults.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace testdb {
namespace {

std::shared_ptr<FaultPlan> planOf(std::initializer_list<std::pair<const char*, const char*>> keys) {
  FaultSettings s;
  for (const auto& [key, value] : keys) EXPECT_EQ(setFaultKey(s, key, value), 0) << key << "=" << value;
  return std::make_shared<FaultPlan>(s);
}

FaultVerdict next(ConnectionFaults& c, std::string_view text = "SELECT 1") {
  ServerError e;
  return c.beforeStatement(text, e);
}

TEST(FaultKeys, ValuesAreCheckedAndBreakNumbersSorted) {
  FaultSettings s;
  EXPECT_EQ(setFaultKey(s, "BreakAtStatements", "7,3,12"), 0);
  EXPECT_EQ(s.breakAtStatements, (std::vector<long>{3, 7, 12}));
  for (const char* bad : {"", "3,", ",3", "3,,4", "x", "0", "-2", "3;4", "1 "}) {
    EXPECT_EQ(setFaultKey(s, "BreakAtStatements", bad), -1) << bad;
  }
  EXPECT_EQ(s.breakAtStatements, (std::vector<long>{3, 7, 12}));
  EXPECT_EQ(setFaultKey(s, "RefuseConnectAfterBreak", "1"), 0);
  EXPECT_TRUE(s.refuseConnectAfterBreak);
  EXPECT_EQ(setFaultKey(s, "RefuseConnectAfterBreak", "yes"), -1);
  EXPECT_EQ(setFaultKey(s, "BreakAfterRunning", "2"), -1);
  EXPECT_EQ(setFaultKey(s, "FailNative", "99999999999"), -1);
  EXPECT_EQ(setFaultKey(s, "FailState", "4000"), -1);
  EXPECT_EQ(setFaultKey(s, "FailNative", "1205"), 0);
  EXPECT_EQ(s.failNative, 1205);
  EXPECT_EQ(setFaultKey(s, "breakatstatements", "1"), -1);
  EXPECT_EQ(setFaultKey(s, "Database", "x.db"), -1);
  // Every listed key is known: "1" suits all but the states, which take five characters.
  for (std::string_view key : faultKeyNames()) {
    FaultSettings fresh;
    EXPECT_EQ(setFaultKey(fresh, key, key == "FailState" || key == "BreakState" ? "40001" : "1"), 0) << key;
  }
}

TEST(FaultPlan, BreakNumbersCountAcrossConnectionsAndADeadLinkCountsNothing) {
  auto plan = planOf({{"BreakAtStatements", "2,3"}});
  ConnectionFaults a;
  ASSERT_EQ(a.connect(plan), 0);
  EXPECT_EQ(next(a), FaultVerdict::Run);
  EXPECT_EQ(next(a), FaultVerdict::Break);
  EXPECT_TRUE(a.broken());
  EXPECT_EQ(next(a), FaultVerdict::Break);  // not statement 3: it never left the client
  ConnectionFaults b;
  ASSERT_EQ(b.connect(plan), 0);
  EXPECT_FALSE(b.broken());
  EXPECT_EQ(next(b), FaultVerdict::Break);  // statement 3
  ASSERT_EQ(b.connect(plan), 0);            // a reconnect on the same handle
  EXPECT_EQ(next(b), FaultVerdict::Run);
  EXPECT_EQ(next(b), FaultVerdict::Run);
}

TEST(FaultPlan, BreakAfterStatementsCountsPerConnection) {
  auto plan = planOf({{"BreakAfterStatements", "1"}, {"BreakAfterRunning", "1"}});
  ConnectionFaults a;
  ASSERT_EQ(a.connect(plan), 0);
  EXPECT_EQ(next(a), FaultVerdict::Run);
  EXPECT_EQ(next(a), FaultVerdict::BreakAfterRun);
  EXPECT_EQ(next(a), FaultVerdict::Break);  // the answer was lost once; now the link is gone
  ASSERT_EQ(a.connect(plan), 0);
  EXPECT_EQ(next(a), FaultVerdict::Run);
}

TEST(FaultPlan, RefuseConnectAfterBreakDownsTheServerForEveryone) {
  auto plan = planOf({{"BreakAtStatements", "1"}, {"RefuseConnectAfterBreak", "1"}});
  ConnectionFaults a, b;
  ASSERT_EQ(a.connect(plan), 0);
  ASSERT_EQ(b.connect(plan), 0);
  EXPECT_EQ(next(a), FaultVerdict::Break);
  EXPECT_TRUE(plan->down());
  EXPECT_EQ(next(b), FaultVerdict::Break);
  ConnectionFaults c;
  EXPECT_EQ(c.connect(plan), -1);
  EXPECT_TRUE(c.broken());
  // Without the key a break is a blip: the server stays up.
  auto blip = planOf({{"BreakAtStatements", "1"}});
  ConnectionFaults d;
  ASSERT_EQ(d.connect(blip), 0);
  EXPECT_EQ(next(d), FaultVerdict::Break);
  EXPECT_FALSE(blip->down());
  EXPECT_EQ(d.connect(blip), 0);
}

TEST(FaultPlan, FailOnTextAnswersTheChosenErrorAndAllocationsFailFromN) {
  auto plan = planOf({{"FailOnText", "KVS321"}, {"FailNative", "2627"}, {"FailStmtAllocFrom", "2"}});
  ConnectionFaults a;
  ASSERT_EQ(a.connect(plan), 0);
  ServerError e;
  EXPECT_EQ(a.beforeStatement("SELECT 1", e), FaultVerdict::Run);
  EXPECT_EQ(a.beforeStatement("INSERT INTO KVS321BCH VALUES (1)", e), FaultVerdict::Fail);
  EXPECT_EQ(e.native, 2627);
  EXPECT_EQ(e.state, "23000");
  EXPECT_FALSE(a.broken());
  // An unknown number still fails, with a text that names it.
  auto unknown = planOf({{"FailOnText", "x"}, {"FailNative", "777"}});
  ConnectionFaults b;
  ASSERT_EQ(b.connect(unknown), 0);
  EXPECT_EQ(b.beforeStatement("x", e), FaultVerdict::Fail);
  EXPECT_EQ(e.message, "Injected failure 777.");
  EXPECT_EQ(e.state, "HY000");
  EXPECT_FALSE(a.allocationFails());
  EXPECT_TRUE(a.allocationFails());
  EXPECT_TRUE(a.allocationFails());
  ASSERT_EQ(a.connect(plan), 0);
  EXPECT_FALSE(a.allocationFails());
}

TEST(FaultPlan, NoPlanMeansNoFaults) {
  ConnectionFaults a;
  ASSERT_EQ(a.connect(nullptr), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(next(a), FaultVerdict::Run);
  EXPECT_FALSE(a.allocationFails());
}

}  // namespace
}  // namespace testdb

namespace testdb {
namespace {

// A stall is one statement of the count (the retry runs), a stalled login is
// every login from the N-th on, and a server down for a while comes back.
TEST(FaultPlan, StallsAndABoundedDownTime) {
  auto plan = planOf({{"StallAtStatements", "2"}, {"BreakAtStatements", "3"}, {"DownForMs", "200"}});
  ConnectionFaults c;
  ASSERT_EQ(c.connect(plan), 0);
  EXPECT_EQ(next(c), FaultVerdict::Run);
  EXPECT_EQ(next(c), FaultVerdict::Stall);
  EXPECT_FALSE(c.broken());
  EXPECT_EQ(next(c), FaultVerdict::Break);
  EXPECT_EQ(c.breakState(), "08S01");
  ConnectionFaults again;
  EXPECT_EQ(again.connect(plan), -1);
  EXPECT_TRUE(plan->down());
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  EXPECT_FALSE(plan->down());
  ASSERT_EQ(again.connect(plan), 0);
  EXPECT_EQ(next(again), FaultVerdict::Run);

  auto logins = planOf({{"StallLogin", "2"}, {"BreakState", "HY000"}});
  EXPECT_FALSE(logins->loginStalls());
  EXPECT_TRUE(logins->loginStalls());
  EXPECT_TRUE(logins->loginStalls());
  ConnectionFaults d;
  ASSERT_EQ(d.connect(logins), 0);
  EXPECT_EQ(d.breakState(), "HY000");
  FaultSettings s;
  EXPECT_EQ(setFaultKey(s, "BreakState", "08S0"), -1);
  EXPECT_EQ(setFaultKey(s, "DownForMs", "-5"), -1);
  EXPECT_EQ(setFaultKey(s, "StallAtStatements", "0"), -1);
}

// DeadlockAtStatements numbers statements as BreakAtStatements does, and
// statements that only set options or begin or end a transaction are not
// numbered; BreakAfterCommits numbers the durable commits of all connections.
TEST(FaultPlan, DeadlocksAndBreaksAfterCommitsPassOverSessionControl) {
  auto plan = planOf({{"DeadlockAtStatements", "3,1"}, {"BreakAfterCommits", "2"}});
  EXPECT_EQ(plan->settings().deadlockAtStatements, (std::vector<long>{1, 3}));
  ConnectionFaults a;
  ASSERT_EQ(a.connect(plan), 0);
  EXPECT_EQ(next(a), FaultVerdict::Deadlock);
  EXPECT_EQ(a.beforeSessionControl(), FaultVerdict::Run);
  EXPECT_EQ(a.beforeSessionControl(), FaultVerdict::Run);
  EXPECT_EQ(next(a), FaultVerdict::Run);
  EXPECT_EQ(next(a), FaultVerdict::Deadlock);
  EXPECT_FALSE(a.broken());
  EXPECT_FALSE(a.afterCommit());
  ConnectionFaults b;
  ASSERT_EQ(b.connect(plan), 0);
  EXPECT_TRUE(b.afterCommit());
  EXPECT_TRUE(b.broken());
  EXPECT_EQ(b.beforeSessionControl(), FaultVerdict::Break);
  EXPECT_FALSE(a.broken());
  FaultSettings s;
  EXPECT_EQ(setFaultKey(s, "BreakAfterCommits", "0"), -1);
  EXPECT_EQ(setFaultKey(s, "DeadlockAtStatements", "2,"), -1);
}

}  // namespace
}  // namespace testdb
