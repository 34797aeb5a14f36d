#include "db/transaction.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/field.h"
#include "db/statements.h"

namespace {
/// What the server does with one INSERT of an attempt.
enum class Fate {
  Store,         // stored in the transaction (2627 when its key is taken)
  EndBatch,      // a batch-ending error: the transaction is rolled back
  Deadlock,      // chosen as deadlock victim: rolled back, batch ended
  LoseLink,      // the link goes before it runs: nothing committed
  LoseAfterCommit,  // it is stored, the commit completes, then the link goes
};

/// A SQL Server in miniature for requests of INSERTs named by their key
/// ("I1", "I2", ...): a table of committed keys, the session's open
/// transaction with what it inserted, and SQL Server's ways with each outcome.
class TransactionServer final : public ResultSource {
 public:
  /// The fate of an INSERT the run-th time the server runs it.
  std::function<Fate(const std::string& key, int run)> fate = [](const std::string&, int) { return Fate::Store; };
  std::set<std::string> committed;
  std::vector<std::string> sent;
  int commits = 0;
  int restores = 0;
  int deadlockWaits = 0;
  /// restore() fails after this many.
  int restoresAllowed = 100;
  /// The row after the next commit fails instead (a victim once the commit
  /// completed), ending the batch.
  bool proofFailsOnce = false;

  void send(std::string_view text, int, StatementResult& result) override {
    sent.emplace_back(text);
    results.clear();
    at = 0;
    if (open && text.substr(0, 8) != "IF @@TRA") nestedAtStart = true;
    run(std::string(text));
    next(0, result);
  }
  void next(int, StatementResult& result) override {
    result = at < results.size() ? results[at++] : StatementResult{};
  }
  void close() override {}
  int restore() override {
    ++restores;
    // The old session went: what it left open is rolled back.
    open = false;
    pending.clear();
    return restores > restoresAllowed ? -1 : 0;
  }
  int rollBack() override {
    sent.emplace_back(kRollbackOpenTransactionStatement);
    open = false;
    pending.clear();
    return 0;
  }
  int deadlocked(int) override {
    ++deadlockWaits;
    return 0;
  }
  /// Set when a request began inside a transaction left open.
  bool nestedAtStart = false;

 private:
  void failed(int32_t native, bool linkLost = false) {
    StatementResult r{};
    r.kind = StatementResult::Kind::Failed;
    r.diag.recorded = true;
    r.diag.nativeError = native;
    r.linkLost = linkLost;
    results.push_back(r);
  }
  void row(const char* value) {
    StatementResult r{};
    r.kind = StatementResult::Kind::Rows;
    r.row = true;
    r.columnCount = 1;
    copyField(r.columns[0].text, value);
    results.push_back(r);
  }
  void count() {
    StatementResult r{};
    r.kind = StatementResult::Kind::Count;
    r.count = 1;
    results.push_back(r);
  }
  void rollBackOpen() {
    open = false;
    pending.clear();
  }

  void run(const std::string& text) {
    bool loseAfterCommit = false;
    for (size_t from = 0; from <= text.size();) {
      size_t end = text.find(kStatementSeparator, from);
      if (end == std::string::npos) end = text.size();
      const std::string s = text.substr(from, end - from);
      from = end + std::strlen(kStatementSeparator);
      if (s == kOpenerStatement) {
        row("1");
      } else if (s == kBeginTransactionStatement) {
        open = true;
      } else if (s == kCommitTransactionStatement) {
        if (!open) {
          failed(3902);
          continue;
        }
        for (const std::string& k : pending) committed.insert(k);
        ++commits;
        rollBackOpen();
        if (loseAfterCommit) {
          failed(0, true);
          return;
        }
      } else if (s == kTranCountStatement) {
        if (proofFailsOnce) {
          proofFailsOnce = false;
          failed(kDeadlockVictim);
          return;
        }
        row(open ? "1" : "0");
      } else {
        const Fate f = fate(s, ++runs[s]);
        switch (f) {
          case Fate::Store:
          case Fate::LoseAfterCommit:
            loseAfterCommit = loseAfterCommit || f == Fate::LoseAfterCommit;
            if (committed.count(s) != 0 || taken(s)) {
              failed(2627);
            } else {
              pending.push_back(s);
              count();
            }
            break;
          case Fate::EndBatch:
            failed(241);
            rollBackOpen();
            return;
          case Fate::Deadlock:
            failed(kDeadlockVictim);
            rollBackOpen();
            return;
          case Fate::LoseLink:
            failed(0, true);
            rollBackOpen();
            return;
        }
      }
    }
  }
  bool taken(const std::string& key) const {
    for (const std::string& k : pending)
      if (k == key) return true;
    return false;
  }

  std::vector<StatementResult> results;
  size_t at = 0;
  bool open = false;
  std::vector<std::string> pending;
  std::map<std::string, int> runs;
};

struct Outcome {
  size_t item;
  bool stored;
  int32_t native;
  bool rerun;
};

class Transaction : public ::testing::Test {
 protected:
  Request inserts{16};
  Request wire{20, kRequestCapacity + kTransactionFrameCapacity};
  TransactionServer server;
  std::vector<Outcome> outcomes;
  DeliverResult deliver = [this](const RequestStatement& s, std::string_view, const StatementResult& r, bool rerun) {
    // The program's rule: a duplicate met again after a lost link is its own row.
    const bool stored =
        r.kind == StatementResult::Kind::Count || (rerun && r.diag.nativeError == 2627);
    outcomes.push_back({s.item, stored, r.kind == StatementResult::Kind::Failed ? r.diag.nativeError : 0, rerun});
  };
  void add(int count) {
    for (int i = 1; i <= count; ++i)
      ASSERT_EQ(inserts.add(StatementKind::Insert, 0, static_cast<size_t>(i), 1000, "I%d", i), 0);
  }
  std::vector<size_t> items() const {
    std::vector<size_t> out;
    for (const Outcome& o : outcomes) out.push_back(o.item);
    return out;
  }
  std::vector<size_t> stored() const {
    std::vector<size_t> out;
    for (const Outcome& o : outcomes)
      if (o.stored) out.push_back(o.item);
    return out;
  }
};

std::string attempt(const std::vector<const char*>& keys) {
  std::string text = std::string(kOpenerStatement) + ";\n" + kBeginTransactionStatement;
  for (const char* k : keys) text += std::string(";\n") + k;
  return text + ";\n" + kCommitTransactionStatement + ";\n" + kTranCountStatement;
}
}  // namespace

// The usual request: one transaction, one commit, each INSERT its own
// outcome in order, a duplicate refused inside the transaction without
// taking the others with it.
TEST_F(Transaction, ARequestIsCommittedOnceAndEachInsertKeepsItsOutcome) {
  server.committed.insert("I2");
  add(4);
  EXPECT_EQ(runTransaction(server, inserts, wire, deliver), RequestEnd::Done);
  EXPECT_EQ(server.sent, (std::vector<std::string>{attempt({"I1", "I2", "I3", "I4"})}));
  EXPECT_EQ(server.commits, 1);
  EXPECT_EQ(items(), (std::vector<size_t>{1, 2, 3, 4}));
  EXPECT_EQ(stored(), (std::vector<size_t>{1, 3, 4}));
  EXPECT_EQ(outcomes[1].native, 2627);
  EXPECT_FALSE(outcomes[1].rerun);
}

// Rolled back by the server: nothing of the attempt counts. A deadlock
// victim goes again whole after a rollback and a wait; a statement that
// ends the batch each time goes alone and is its booking's failure, the
// others stored without it; nothing is stored or reported twice.
TEST_F(Transaction, ARolledBackRequestIsSentAgainAndItsCulpritGoesAlone) {
  server.fate = [](const std::string& k, int attempt) {
    if (k == "I2" && attempt == 1) return Fate::Deadlock;
    if (k == "I3") return Fate::EndBatch;
    return Fate::Store;
  };
  add(4);
  EXPECT_EQ(runTransaction(server, inserts, wire, deliver), RequestEnd::Done);
  EXPECT_EQ(server.sent, (std::vector<std::string>{attempt({"I1", "I2", "I3", "I4"}), kRollbackOpenTransactionStatement,
                                                   attempt({"I1", "I2", "I3", "I4"}), kRollbackOpenTransactionStatement,
                                                   attempt({"I1", "I2", "I4"}), attempt({"I3"}),
                                                   kRollbackOpenTransactionStatement}));
  EXPECT_EQ(server.deadlockWaits, 1);
  EXPECT_EQ(items(), (std::vector<size_t>{1, 2, 4, 3}));
  EXPECT_EQ(stored(), (std::vector<size_t>{1, 2, 4}));
  EXPECT_EQ(outcomes[3].native, 241);
  EXPECT_EQ(server.committed, (std::set<std::string>{"I1", "I2", "I4"}));
  EXPECT_FALSE(server.nestedAtStart);

  // A victim every time: three waits, then it goes alone, where it is
  // retried as often and then reported; the others are stored.
  outcomes.clear();
  server = TransactionServer{};
  server.fate = [](const std::string& k, int) { return k == "I1" ? Fate::Deadlock : Fate::Store; };
  EXPECT_EQ(runTransaction(server, inserts, wire, deliver), RequestEnd::Done);
  EXPECT_EQ(server.deadlockWaits, 2 * kDeadlockRetries);
  EXPECT_EQ(stored(), (std::vector<size_t>{2, 3, 4}));
  ASSERT_EQ(items(), (std::vector<size_t>{2, 3, 4, 1}));
  EXPECT_EQ(outcomes[3].native, kDeadlockVictim);
}

// A lost link after the commit completed: its rows meet themselves as
// duplicates when sent again and count as stored, while the duplicate the
// first attempt was refused stays a failure. Lost before the commit, the
// server rolled back and everything is stored by the next attempt. A link
// that keeps going ends the run with nothing delivered and nothing stored.
TEST_F(Transaction, AfterALostLinkWhatMayHaveBeenCommittedIsTakenAsStored) {
  server.committed.insert("I3");
  server.fate = [](const std::string& k, int run) {
    return k == "I4" && run == 1 ? Fate::LoseAfterCommit : Fate::Store;
  };
  add(4);
  EXPECT_EQ(runTransaction(server, inserts, wire, deliver), RequestEnd::Done);
  EXPECT_EQ(server.restores, 1);
  EXPECT_EQ(server.sent.size(), 2u);
  EXPECT_EQ(stored(), (std::vector<size_t>{1, 2, 4}));
  ASSERT_EQ(outcomes.size(), 4u);
  EXPECT_TRUE(outcomes[0].rerun);
  EXPECT_EQ(outcomes[0].native, 2627);
  EXPECT_EQ(outcomes[2].native, 2627);
  EXPECT_FALSE(outcomes[2].rerun);

  outcomes.clear();
  server = TransactionServer{};
  server.fate = [](const std::string& k, int run) { return k == "I2" && run == 1 ? Fate::LoseLink : Fate::Store; };
  EXPECT_EQ(runTransaction(server, inserts, wire, deliver), RequestEnd::Done);
  EXPECT_EQ(server.restores, 1);
  EXPECT_EQ(server.commits, 1);
  EXPECT_EQ(stored(), (std::vector<size_t>{1, 2, 3, 4}));
  for (const Outcome& o : outcomes) EXPECT_EQ(o.native, 0);

  // A failure after the commit completed: its rows meet themselves again.
  outcomes.clear();
  server = TransactionServer{};
  server.proofFailsOnce = true;
  EXPECT_EQ(runTransaction(server, inserts, wire, deliver), RequestEnd::Done);
  EXPECT_EQ(stored(), (std::vector<size_t>{1, 2, 3, 4}));
  EXPECT_EQ(server.deadlockWaits, 1);
  EXPECT_EQ(server.committed.size(), 4u);

  outcomes.clear();
  server = TransactionServer{};
  server.fate = [](const std::string& k, int) { return k == "I2" ? Fate::LoseLink : Fate::Store; };
  EXPECT_EQ(runTransaction(server, inserts, wire, deliver), RequestEnd::LinkLost);
  EXPECT_TRUE(outcomes.empty());
  EXPECT_EQ(server.restores, kRestoresPerStatement);
  EXPECT_TRUE(server.committed.empty());
}
