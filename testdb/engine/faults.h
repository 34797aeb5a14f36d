#pragma once
// Faults injected for tests, decided here once so that every front end (the
// ODBC driver, a server on the wire) fails the same statements the same way;
// each front end only shows the outcome as its clients expect it.

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sqlserver/server_error.h"

namespace testdb {

struct FaultSettings {
  // FailStmtAllocFrom: the N-th statement allocation and all later ones fail (0: never)
  long failStmtAllocFrom = 0;
  // FailOnText: a statement whose text contains this fails (empty: never)
  std::string failOnText;
  // FailNative / FailState / FailMessage: the error it fails with
  int failNative = 50000;
  std::string failState;
  std::string failMessage;
  // BreakAfterStatements: a connection breaks at its own statement N+1 (0: never)
  long breakAfterStatements = 0;
  // BreakAtStatements: the link breaks at each of these statement numbers,
  // counted across all connections to the same database (ascending)
  std::vector<long> breakAtStatements;
  // BreakAfterRunning: the statement met by a break runs (and commits in
  // autocommit) before the link goes; only its answer is lost
  bool breakAfterRunning = false;
  // RefuseConnectAfterBreak: once a break happened, connecting fails and
  // every other open connection breaks too (the server is down)
  bool refuseConnectAfterBreak = false;
  // StallAtStatements: the server stops answering at each of these statement
  // numbers (counted as for BreakAtStatements), keeping the connection open;
  // the statement is not run, and a cancel (attention) is still acknowledged
  std::vector<long> stallAtStatements;
  // StallLogin: from the N-th login on (counted over all connections), the
  // server accepts the connection and never answers the login (0: never)
  long stallLogin = 0;
  // DownForMs: after a break the server is down for this long (connecting
  // fails, open connections lose their link), then up again (0: never)
  long downForMs = 0;
  // DeadlockAtStatements: each of these statements (counted as for
  // BreakAtStatements) is chosen as a deadlock victim: 1205, its transaction
  // rolled back, the rest of its batch not run
  std::vector<long> deadlockAtStatements;
  // BreakAfterCommits: the link breaks right after each of these durable
  // commits (counted over all connections) and before its answer
  std::vector<long> breakAfterCommits;
  // BreakState: the SQLSTATE a client driver reports for a break, when the
  // driver decides it (empty: its usual 08S01)
  std::string breakState;
};

/// The names of the fault keys, for front ends that read them one by one.
const std::vector<std::string_view>& faultKeyNames();

/// Sets the fault key `key` (exact spelling) from its text. Returns 0, or -1
/// when the key is unknown or the value is not what the key takes.
int setFaultKey(FaultSettings& settings, std::string_view key, std::string_view value);

/// What a front end does with the statement it was about to run.
enum class FaultVerdict {
  Run,            // run it normally
  Fail,           // answer the injected error instead of running it
  Break,          // the link is lost before the statement reaches the server
  BreakAfterRun,  // run it, then lose the link instead of answering
  Stall,          // never answer it (the statement is not run)
  Deadlock,       // chosen as a deadlock victim (Session::deadlockVictim)
};

/// The faults of one database as a front end serves it: shared by all its
/// connections, so statement numbers and a downed server survive reconnects.
/// Safe to share between threads.
class FaultPlan {
 public:
  explicit FaultPlan(FaultSettings settings) : settings_(std::move(settings)) {}
  const FaultSettings& settings() const { return settings_; }

  /// True while connections may be opened (false once the server is down).
  bool acceptsConnections() const;
  /// Counts one statement of any connection. Returns its number (from 1), or
  /// 0 when the server is down.
  long countStatement();
  /// True when statement number n meets a break.
  bool breaksAt(long n) const;
  /// Records that a break happened (the server goes down when so configured).
  void recordBreak();
  /// True once the server is down (for good, or for DownForMs).
  bool down() const;
  /// True when statement number n meets a stall.
  bool stallsAt(long n) const;
  /// True when statement number n meets a deadlock.
  bool deadlocksAt(long n) const;
  /// Counts one durable commit of any connection. Returns its number (from 1).
  long countCommit();
  /// True when durable commit number n meets a break.
  bool breaksAfterCommit(long n) const;
  /// Counts one login. Returns true when the server never answers it.
  bool loginStalls();

 private:
  const FaultSettings settings_;
  mutable std::mutex mutex_;
  long statements_ = 0;
  long commits_ = 0;
  long logins_ = 0;
  bool down_ = false;
  /// While down for DownForMs: when it is up again.
  std::chrono::steady_clock::time_point upAgain_{};
};

/// The faults of one connection: its own counters, and whether its link is lost.
/// A front end asks before each statement it runs, also each statement of a
/// batch, so statement numbers count statements (a request of one counts one).
class ConnectionFaults {
 public:
  /// Starts a connection under plan (nullptr: no faults). Returns 0, or -1
  /// when connecting must fail because the server is down.
  int connect(std::shared_ptr<FaultPlan> plan);
  /// Decides the fate of the next statement; on Fail, error holds what to answer.
  FaultVerdict beforeStatement(std::string_view text, ServerError& error);
  /// Decides the fate of a statement that only sets options or begins or
  /// ends a transaction: not counted, and only a lost link or a downed
  /// server stops it. Returns Run or Break.
  FaultVerdict beforeSessionControl();
  /// Counts a durable commit this connection just made (a statement or a
  /// manual commit). Returns true when the link breaks now, before its answer.
  bool afterCommit();
  /// True when the next statement allocation fails.
  bool allocationFails();
  /// True once the link is lost (until the next connect).
  bool broken() const { return broken_; }
  /// The SQLSTATE a client driver reports for the break. Returns it, or
  /// "08S01" when none was configured.
  std::string_view breakState() const;

 private:
  void breakLink();

  std::shared_ptr<FaultPlan> plan_;
  long statements_ = 0;
  long allocations_ = 0;
  bool broken_ = false;
};

}  // namespace testdb
