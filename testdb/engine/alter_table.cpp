// ALTER TABLE ... ADD CONSTRAINT: SQLite cannot add a CHECK or a default to a
// table, but a change that leaves the stored rows as they are may be made by
// editing the table's definition in sqlite_schema (SQLite's own procedure for
// such changes), so the constraint is then in force like one CREATE TABLE made.

#include <string>

#include "engine/session.h"

namespace testdb {
namespace {

// RAII for one prepared statement.
struct Prepared {
  sqlite3_stmt* st = nullptr;
  ~Prepared() { sqlite3_finalize(st); }
};

}  // namespace

int Session::editDefinition(const Translation& tr, ErrorList& errors) {
  Prepared read;
  int rc = sqlite3_prepare_v2(db_, "SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?1", -1, &read.st,
                              nullptr);
  if (rc != SQLITE_OK) return rc;
  sqlite3_bind_text(read.st, 1, tr.target.c_str(), static_cast<int>(tr.target.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(read.st) != SQLITE_ROW) return SQLITE_ERROR;
  std::string sql(reinterpret_cast<const char*>(sqlite3_column_text(read.st, 0)),
                  static_cast<size_t>(sqlite3_column_bytes(read.st, 0)));
  if (tr.alterColumn.empty()) {
    size_t close = sql.rfind(')');
    if (close == std::string::npos) return SQLITE_ERROR;
    sql.insert(close, tr.alterAdd);
  } else {
    // A column's definition is its name and type, then what it declares.
    size_t at = sql.find("(" + tr.alterColumn);
    if (at == std::string::npos) at = sql.find(", " + tr.alterColumn);
    if (at == std::string::npos) return SQLITE_ERROR;
    at = sql.find(tr.alterColumn, at) + tr.alterColumn.size();
    if (sql.compare(at, sizeof " DEFAULT" - 1, " DEFAULT") == 0) {
      errors.push_back(serverError(1781));
      errors.push_back(serverError(1750));
      return SQLITE_CONSTRAINT;
    }
    sql.insert(at, tr.alterAdd);
  }
  Prepared version;
  rc = sqlite3_prepare_v2(db_, "PRAGMA schema_version", -1, &version.st, nullptr);
  if (rc != SQLITE_OK || sqlite3_step(version.st) != SQLITE_ROW) return SQLITE_ERROR;
  const long long next = sqlite3_column_int64(version.st, 0) + 1;
  rc = sqlite3_exec(db_, "PRAGMA writable_schema = ON", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return rc;
  Prepared write;
  rc = sqlite3_prepare_v2(db_, "UPDATE sqlite_schema SET sql = ?1 WHERE type = 'table' AND name = ?2", -1, &write.st,
                          nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_text(write.st, 1, sql.c_str(), static_cast<int>(sql.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(write.st, 2, tr.target.c_str(), static_cast<int>(tr.target.size()), SQLITE_TRANSIENT);
    rc = sqlite3_step(write.st) == SQLITE_DONE ? SQLITE_OK : SQLITE_ERROR;
  }
  if (rc == SQLITE_OK) {
    // Other connections see the new definition by the changed version; this
    // one reloads it at once.
    std::string bump = "PRAGMA schema_version = " + std::to_string(next);
    rc = sqlite3_exec(db_, bump.c_str(), nullptr, nullptr, nullptr);
  }
  int reset = sqlite3_exec(db_, "PRAGMA writable_schema = RESET", nullptr, nullptr, nullptr);
  return rc != SQLITE_OK ? rc : reset;
}

int Session::runAlter(const Translation& tr, ErrorList& errors) {
  if (tr.alterAdd.empty()) return 0;
  if (beginIfManual(errors)) return -1;
  int rc = sqlite3_exec(db_, "SAVEPOINT dulmar_alter", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    mapError(rc, nullptr, errors);
    return -1;
  }
  size_t first = errors.size();
  if (!tr.alterCheckSql.empty()) {
    Prepared probe;
    functionErrors_.clear();
    rc = sqlite3_prepare_v2(db_, tr.alterCheckSql.c_str(), -1, &probe.st, nullptr);
    if (rc == SQLITE_OK) {
      int step = sqlite3_step(probe.st);
      if (step == SQLITE_ROW) {
        errors.push_back(tr.alterConflict);
        rc = SQLITE_CONSTRAINT;
      } else if (step != SQLITE_DONE) {
        rc = sqlite3_reset(probe.st);
      }
    }
  }
  if (rc == SQLITE_OK) rc = editDefinition(tr, errors);
  if (rc == SQLITE_OK && !tr.script.empty()) rc = sqlite3_exec(db_, tr.script.c_str(), nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db_, "RELEASE dulmar_alter", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    if (errors.size() == first) mapError(rc, nullptr, errors);
    sqlite3_exec(db_, "ROLLBACK TO dulmar_alter; RELEASE dulmar_alter;", nullptr, nullptr, nullptr);
  }
  catalog_.invalidate();
  catalog_.refresh(db_);
  return rc == SQLITE_OK ? 0 : -1;
}

}  // namespace testdb
