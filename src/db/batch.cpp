#include "db/batch.h"

#include <utility>

bool resultFits(const RequestStatement& statement, const StatementResult& result) {
  using Kind = StatementResult::Kind;
  switch (statement.kind) {
    case StatementKind::Opener:
      return result.kind == Kind::Rows && result.row;
    case StatementKind::Lookup:
      return result.kind == Kind::Failed || (result.kind == Kind::Rows && result.columnCount >= statement.columns);
    case StatementKind::Insert:
      return result.kind == Kind::Failed || (result.kind == Kind::Count && result.count == 1);
    case StatementKind::Frame:
      return result.kind == Kind::Failed;
    case StatementKind::Proof:
      return result.kind == Kind::Rows && result.row && result.columnCount >= 1;
  }
  return false;
}

namespace {
/// Moves the statements of from, starting at first, into to, behind an
/// opener when from had one and an insert is among them (its outcome must
/// stay readable even when the first statement fails).
void keepRest(const Request& from, size_t first, Request& to) {
  to.clear();
  bool inserts = false;
  const bool opened = from.holds(StatementKind::Opener);
  const auto& all = from.statements();
  for (size_t i = first; i < all.size(); ++i) inserts = inserts || all[i].kind == StatementKind::Insert;
  if (inserts && opened) to.add(StatementKind::Opener, 0, 0, sizeof kOpenerStatement, "%s", kOpenerStatement);
  for (size_t i = first; i < all.size(); ++i)
    if (all[i].kind != StatementKind::Opener) to.copy(from, all[i]);
}
}  // namespace

RequestEnd runRequest(ResultSource& source, Request& request, Request& scratch, const DeliverResult& deliver) {
  using Kind = StatementResult::Kind;
  Request* current = &request;
  Request* spare = &scratch;
  bool rerun = false;
  int restoresWithoutProgress = 0;
  int deadlocks = 0;
  StatementResult result;
  while (!current->empty()) {
    const auto& statements = current->statements();
    size_t at = 0;
    size_t delivered = 0;
    bool lost = false;
    bool deadlocked = false;
    source.send(current->text(), statements[0].columns, result);
    if (result.kind == Kind::Failed && result.notSent && !result.linkLost) {
      source.close();
      for (const RequestStatement& s : statements)
        if (s.kind != StatementKind::Opener) deliver(s, current->text(s), result, rerun);
      return RequestEnd::Done;
    }
    while (result.kind != Kind::End) {
      if (at == statements.size()) {
        source.close();  // more results than statements: nothing can be told apart
        return RequestEnd::Misfit;
      }
      if (result.kind == Kind::Failed && result.linkLost) {
        lost = true;
        break;
      }
      // The victim's failure is not its statement's: it runs again.
      if (result.kind == Kind::Failed && result.diag.nativeError == kDeadlockVictim) {
        deadlocked = true;
        break;
      }
      if (!resultFits(statements[at], result)) {
        source.close();
        return RequestEnd::Misfit;
      }
      if (statements[at].kind != StatementKind::Opener) {
        deliver(statements[at], current->text(statements[at]), result, rerun);
        ++delivered;
        restoresWithoutProgress = 0;
        deadlocks = 0;
      }
      ++at;
      source.next(at < statements.size() ? statements[at].columns : 0, result);
    }
    source.close();
    // A victim too often running is treated as a lost link: a new session
    // may fare better, and it stays bounded by the restores.
    if (deadlocked && ++deadlocks > kDeadlockRetries) {
      deadlocks = 0;
      lost = true;
    } else if (deadlocked && source.deadlocked(deadlocks) != 0) {
      return RequestEnd::LinkLost;
    }
    // A request that ended before any of its statements without losing the
    // link would end so again.
    if (delivered == 0 && !lost && !deadlocked) return RequestEnd::Misfit;
    if (at == statements.size()) return RequestEnd::Done;
    // The rest did not run (the request ended early), or may have run (the
    // link went): either way it is sent again, and after a lost link an
    // insert may meet its own row.
    // What was in flight when a link went may have run, however often it
    // is sent again afterwards.
    if (lost) {
      if (++restoresWithoutProgress > kRestoresPerStatement || source.restore() != 0) return RequestEnd::LinkLost;
      rerun = true;
    }
    keepRest(*current, at, *spare);
    std::swap(current, spare);
  }
  return RequestEnd::Done;
}
