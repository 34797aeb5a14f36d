#include "db/transaction.h"

#include <cstring>
#include <vector>

#include "db/statements.h"

namespace {
using Kind = StatementResult::Kind;

/// What the runner knows of one INSERT across its attempts.
struct Member {
  bool done = false;
  /// It ended the batch of a request shared with others: it goes alone.
  bool alone = false;
  /// An attempt whose commit is not known gave it a count, or no answer.
  bool mayBeStored = false;
  /// Its answer in the attempt being read; Kind::End when none came.
  StatementResult got;
};

/// How an attempt ended.
enum class Ending {
  /// The proof came: committed, unless it says a transaction is still open
  /// or the commit itself failed.
  Proven,
  /// The link went before the proof came: the commit may have completed.
  Lost,
  /// The answers ended before the proof without a lost link: the server
  /// rolled back or ended the batch, nothing of it is committed.
  Ended,
  /// The answers make no sense.
  Misfit,
  /// The request never went out (no statement handle): each INSERT fails so.
  NotSent,
};

/// Builds the attempt for the members of group in wire. Returns 0, or -1
/// when it does not fit (it always does for what fitted inserts).
int buildAttempt(const Request& inserts, const std::vector<size_t>& group, Request& wire) {
  wire.clear();
  const auto& all = inserts.statements();
  if (wire.add(StatementKind::Opener, 0, 0, sizeof kOpenerStatement, "%s", kOpenerStatement) != 0 ||
      wire.add(StatementKind::Frame, 0, 0, sizeof kBeginTransactionStatement, "%s", kBeginTransactionStatement) != 0)
    return -1;
  for (size_t k : group)
    if (wire.copy(inserts, all[k]) != 0) return -1;
  if (wire.add(StatementKind::Frame, 0, 0, sizeof kCommitTransactionStatement, "%s", kCommitTransactionStatement) !=
          0 ||
      wire.add(StatementKind::Proof, 1, 0, sizeof kTranCountStatement, "%s", kTranCountStatement) != 0)
    return -1;
  return 0;
}

/// The attempt's answers read into the members of group.
struct Reading {
  Ending ending = Ending::Misfit;
  /// The commit failed (its answer in commitFailure).
  bool commitFailed = false;
  StatementResult commitFailure;
  /// The proof's row said no transaction is open.
  bool closed = false;
  /// Position in group of the last member that answered, or group.size().
  size_t last;
  /// For NotSent: the failure every INSERT of it gets.
  StatementResult notSent;
};

/// Sends the attempt in wire and reads its answers. Returns what it gave.
Reading readAttempt(ResultSource& source, const Request& wire, std::vector<Member>& members,
                    const std::vector<size_t>& group) {
  Reading r;
  r.last = group.size();
  StatementResult result;
  for (size_t k : group) members[k].got = StatementResult{};
  source.send(wire.text(), 0, result);
  auto ending = [&](Ending e) {
    r.ending = e;
    source.close();
    return r;
  };
  if (result.kind == Kind::Failed && result.linkLost) return ending(Ending::Lost);
  if (result.kind == Kind::Failed && result.notSent) {
    r.notSent = result;
    return ending(Ending::NotSent);
  }
  if (!resultFits(wire.statements()[0], result)) return ending(Ending::Misfit);
  const RequestStatement insert{0, 0, StatementKind::Insert, 0, 0};
  for (size_t g = 0; g < group.size(); ++g) {
    source.next(1, result);
    if (result.kind == Kind::End) return ending(Ending::Ended);
    if (result.kind == Kind::Failed && result.linkLost) return ending(Ending::Lost);
    if (!resultFits(insert, result)) return ending(Ending::Misfit);
    members[group[g]].got = result;
    r.last = g;
  }
  source.next(1, result);
  if (result.kind == Kind::Failed && !result.linkLost) {
    r.commitFailed = true;
    r.commitFailure = result;
    source.next(1, result);
  }
  if (result.kind == Kind::End) return ending(Ending::Ended);
  if (result.kind == Kind::Failed && result.linkLost) return ending(Ending::Lost);
  if (!resultFits(wire.statements().back(), result)) return ending(Ending::Misfit);
  r.closed = std::strcmp(result.columns[0].text, "0") == 0;
  source.next(0, result);
  if (result.kind == Kind::Failed && result.linkLost) return ending(Ending::Lost);
  return ending(result.kind == Kind::End ? Ending::Proven : Ending::Misfit);
}

bool isDeadlock(const StatementResult& result) {
  return result.kind == Kind::Failed && result.diag.nativeError == kDeadlockVictim;
}
}  // namespace

RequestEnd runTransaction(ResultSource& source, const Request& inserts, Request& wire, const DeliverResult& deliver,
                          std::vector<size_t>* mayBeStored) {
  const auto& all = inserts.statements();
  std::vector<Member> members;
  std::vector<size_t> group;
  try {
    members.resize(all.size());
    group.reserve(all.size());
  } catch (...) {
    return RequestEnd::Misfit;
  }
  auto finish = [&](size_t k, const StatementResult& result) {
    members[k].done = true;
    deliver(all[k], inserts.text(all[k]), result, members[k].mayBeStored);
  };
  // After an attempt whose commit may have completed: its INSERTs that were
  // counted (and, when the link went, those not answered) may be stored.
  auto mayHaveCommitted = [&](bool unanswered) {
    for (size_t k : group) {
      const Kind got = members[k].got.kind;
      if (got == Kind::Count || (unanswered && got != Kind::Failed)) members[k].mayBeStored = true;
    }
  };
  // Ends without the outcomes of the rest, saying which of them may be stored.
  auto giveUp = [&](RequestEnd end) {
    if (mayBeStored != nullptr) {
      mayBeStored->clear();
      for (size_t k = 0; k < members.size(); ++k)
        if (!members[k].done && members[k].mayBeStored) mayBeStored->push_back(all[k].item);
    }
    return end;
  };
  // Attempts since the last one that settled something; each is a lost link
  // or an end without a cause, and neither may repeat without bound.
  int withoutProgress = 0;
  int deadlocks = 0;
  for (;;) {
    // Those that may go together first, then each one that ended a batch alone.
    group.clear();
    for (size_t k = 0; k < members.size(); ++k)
      if (!members[k].done && !members[k].alone) group.push_back(k);
    for (size_t k = 0; group.empty() && k < members.size(); ++k)
      if (!members[k].done) group.push_back(k);
    if (group.empty()) return RequestEnd::Done;
    if (buildAttempt(inserts, group, wire) != 0) return giveUp(RequestEnd::Misfit);

    const Reading r = readAttempt(source, wire, members, group);
    if (r.ending == Ending::Misfit) {
      // Whatever the server made of it, its commit may have run.
      mayHaveCommitted(true);
      return giveUp(RequestEnd::Misfit);
    }
    if (r.ending == Ending::NotSent) {
      for (size_t k : group) finish(k, r.notSent);
      continue;
    }
    if (r.ending == Ending::Proven && r.closed && !r.commitFailed) {
      for (size_t k : group) finish(k, members[k].got);
      withoutProgress = 0;
      deadlocks = 0;
      continue;
    }
    if (r.ending == Ending::Lost) {
      // The commit may have completed before its answer was lost: every
      // row that was not refused may be stored.
      mayHaveCommitted(true);
      if (++withoutProgress > kRestoresPerStatement || source.restore() != 0) return giveUp(RequestEnd::LinkLost);
      continue;
    }
    // Not committed as sent: whatever the server left open goes first, so
    // the next attempt is not nested in it.
    if (source.rollBack() != 0) {
      if (++withoutProgress > kRestoresPerStatement || source.restore() != 0) return giveUp(RequestEnd::LinkLost);
      continue;
    }
    // A failure after the INSERTs is the commit's or the proof's: the commit
    // may have completed, so every row counted may be stored.
    if (r.commitFailed) mayHaveCommitted(false);
    const StatementResult* cause = nullptr;
    size_t culprit = group.size();
    if (r.commitFailed) {
      cause = &r.commitFailure;
    } else if (r.ending == Ending::Ended && r.last < group.size() &&
               members[group[r.last]].got.kind == Kind::Failed) {
      culprit = r.last;
      cause = &members[group[r.last]].got;
    }
    if (cause != nullptr && isDeadlock(*cause) && ++deadlocks <= kDeadlockRetries) {
      if (source.deadlocked(deadlocks) != 0) return giveUp(RequestEnd::LinkLost);
      continue;
    }
    if (culprit < group.size()) {
      // The statement that ended the batch gets its own request; alone, its
      // failure is its outcome and the others are stored without it.
      deadlocks = 0;
      const size_t k = group[culprit];
      if (group.size() > 1) {
        members[k].alone = true;
      } else {
        finish(k, members[k].got);
        withoutProgress = 0;
      }
      continue;
    }
    // Answers that stopped without a cause, or a commit that failed or left a
    // transaction open: rows counted may have been committed on their own,
    // so the next attempt takes a duplicate of theirs as stored.
    mayHaveCommitted(false);
    if (++withoutProgress > kRestoresPerStatement) return giveUp(RequestEnd::Misfit);
  }
}
