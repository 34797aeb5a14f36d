// How a session's transactions begin and end, as SQL Server decides it:
// which errors end them, nesting, implicit transactions, and the durable
// commits that wait for the log.

#include <string>

#include "engine/session.h"
#include "tsql/tsql_lexer.h"

namespace testdb {

int readSessionDefaults(std::string_view text, SessionOptions& options) {
  bool xactAbort = false;
  bool implicit = false;
  while (true) {
    size_t comma = text.find(',');
    std::string_view word = text.substr(0, comma);
    while (!word.empty() && word.front() == ' ') word.remove_prefix(1);
    while (!word.empty() && word.back() == ' ') word.remove_suffix(1);
    if (equalsNoCase(word, "XACT_ABORT")) {
      xactAbort = true;
    } else if (equalsNoCase(word, "IMPLICIT_TRANSACTIONS")) {
      implicit = true;
    } else {
      return -1;
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  options.xactAbort = xactAbort;
  options.implicitTransactions = implicit;
  return 0;
}

ErrorAction errorActionOf(int native) {
  switch (native) {
    // conversions
    case 241:
    case 242:
    case 245:
    case 8114:
    // names that do not resolve when the statement is compiled as it runs
    case 207:
    case 208:
    case 209:
    case 4104:
    // chosen as a deadlock victim
    case 1205:
      return ErrorAction::Batch;
    default:
      return ErrorAction::Statement;
  }
}

bool rollsBackTransaction(int native) {
  switch (native) {
    case 241:
    case 242:
    case 245:
    case 8114:
    case 1205:
      return true;
    default:
      return false;
  }
}

int Session::beginIfManual(ErrorList& errors) {
  if (autocommit_ || !sqlite3_get_autocommit(db_)) return 0;
  int rc = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    mapError(rc, nullptr, errors);
    return -1;
  }
  return 0;
}

int Session::beginImplicit(const Translation& tr, ErrorList& errors) {
  if (!implicitTransactions_ || !autocommit_ || tranCount_ > 0) return 0;
  // Only what reads or changes a table opens one: SELECT 1 and SELECT
  // @@TRANCOUNT leave @@TRANCOUNT at 0.
  const bool opens = tr.kind == StatementKind::Insert || tr.kind == StatementKind::Update ||
                     tr.kind == StatementKind::Delete || tr.kind == StatementKind::Ddl ||
                     tr.kind == StatementKind::AlterTable || (tr.kind == StatementKind::Select && tr.readsTable);
  if (!opens) return 0;
  if (sqlite3_get_autocommit(db_)) {
    int rc = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      mapError(rc, nullptr, errors);
      return -1;
    }
  }
  tranCount_ = 1;
  return 0;
}

void Session::noteCommit() {
  ++durableCommits_;
  if (options_.commits) options_.commits->record();
}

void Session::noteAutocommit() {
  if (sqlite3_get_autocommit(db_)) noteCommit();
}

int Session::endTransaction(bool commit, ErrorList& errors) {
  tranCount_ = 0;
  if (sqlite3_get_autocommit(db_)) return 0;
  int rc = sqlite3_exec(db_, commit ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    mapError(rc, nullptr, errors);
    return -1;
  }
  if (commit) noteCommit();
  return 0;
}

void Session::deadlockVictim(int sessionId, ErrorList& errors) {
  errors.push_back(serverError(1205, {std::to_string(sessionId)}));
  rollBackAll();
}

int Session::tranCount() const {
  if (tranCount_ > 0) return tranCount_;
  return !autocommit_ && db_ && !sqlite3_get_autocommit(db_) ? 1 : 0;
}

void Session::rollBackAll() {
  if (db_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  tranCount_ = 0;
}

int Session::runTransaction(const Translation& tr, ErrorList& errors) {
  if (tr.onlyInTransaction && tranCount() == 0) return 0;
  const bool open = !sqlite3_get_autocommit(db_);
  const char* verb = nullptr;
  if (tr.sql == "BEGIN") {
    // Nested BEGIN TRANs only count, as on SQL Server: the outermost COMMIT
    // commits. With IMPLICIT_TRANSACTIONS ON a BEGIN TRAN outside a
    // transaction first opens the implicit one, so it nests to 2.
    if (!open) verb = "BEGIN";
    if (implicitTransactions_ && autocommit_ && tranCount_ == 0) ++tranCount_;
    ++tranCount_;
  } else if (tr.sql == "COMMIT") {
    if (tranCount_ == 0 && !(open && !autocommit_)) {
      errors.push_back(serverError(3902));
      return -1;
    }
    if (tranCount_ > 0) --tranCount_;
    if (tranCount_ == 0) verb = "COMMIT";
  } else {
    if (!open) {
      errors.push_back(serverError(3903));
      return -1;
    }
    tranCount_ = 0;
    verb = "ROLLBACK";
  }
  if (!verb) return 0;
  int rc = sqlite3_exec(db_, verb, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    mapError(rc, nullptr, errors);
    return -1;
  }
  if (tr.sql == "COMMIT") noteCommit();
  return 0;
}

}  // namespace testdb
