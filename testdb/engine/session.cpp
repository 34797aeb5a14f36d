#include "engine/session.h"

#include "tsql/sql_script.h"

namespace testdb {
namespace {

constexpr size_t kMaxCachedStatements = 256;

void bindValue(sqlite3_stmt* st, int index, const Value& v) {
  switch (v.kind) {
    case ValueKind::Null: sqlite3_bind_null(st, index); break;
    case ValueKind::Int: sqlite3_bind_int64(st, index, v.i); break;
    case ValueKind::Real: sqlite3_bind_double(st, index, v.d); break;
    case ValueKind::Text:
      sqlite3_bind_text(st, index, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
      break;
  }
}

void bindAll(sqlite3_stmt* st, const std::vector<Value>& params) {
  int count = sqlite3_bind_parameter_count(st);
  for (int i = 0; i < count && i < static_cast<int>(params.size()); ++i) bindValue(st, i + 1, params[i]);
}

}  // namespace

Session::~Session() { close(); }

int Session::open(const SessionOptions& options, ErrorList& errors) {
  close();
  options_ = options;
  context_.databaseName = options.databaseName;
  int rc = sqlite3_open_v2(options.file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(db_, 10000);
    std::string pragmas = "PRAGMA journal_mode=" + options.journalMode + "; PRAGMA synchronous=" +
                          options.synchronous + "; PRAGMA foreign_keys=ON;";
    rc = sqlite3_exec(db_, pragmas.c_str(), nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) rc = registerFunctions(db_, &functionErrors_);
  if (rc == SQLITE_OK) rc = catalog_.ensure(db_);
  if (rc != SQLITE_OK) {
    errors.push_back(serverError(4060, {options.databaseName}));
    close();
    return -1;
  }
  return 0;
}

void Session::close() {
  for (auto& [sql, list] : cache_) {
    for (sqlite3_stmt* st : list) sqlite3_finalize(st);
  }
  cache_.clear();
  cachedCount_ = 0;
  catalog_.detach();
  if (db_) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
}

sqlite3_stmt* Session::checkout(const std::string& sql, ErrorList& errors) {
  auto it = cache_.find(sql);
  if (it != cache_.end() && !it->second.empty()) {
    sqlite3_stmt* st = it->second.back();
    it->second.pop_back();
    --cachedCount_;
    return st;
  }
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &st, nullptr);
  if (rc != SQLITE_OK) {
    mapError(rc, nullptr, errors);
    return nullptr;
  }
  return st;
}

void Session::release(Execution& out) {
  if (out.stmt) {
    sqlite3_reset(out.stmt);
    sqlite3_clear_bindings(out.stmt);
    if (out.cacheKey.empty() || cachedCount_ >= kMaxCachedStatements) {
      sqlite3_finalize(out.stmt);
    } else {
      cache_[out.cacheKey].push_back(out.stmt);
      ++cachedCount_;
    }
  }
  out.stmt = nullptr;
  out.cacheKey.clear();
  out.rowReady = false;
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

int Session::endTransaction(bool commit, ErrorList& errors) {
  if (sqlite3_get_autocommit(db_)) return 0;
  int rc = sqlite3_exec(db_, commit ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    mapError(rc, nullptr, errors);
    return -1;
  }
  return 0;
}

int Session::runScript(const std::string& script, ErrorList& errors) {
  std::string wrapped = "SAVEPOINT dulmar_ddl;" + script + "RELEASE dulmar_ddl;";
  functionErrors_.clear();
  int rc = sqlite3_exec(db_, wrapped.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    mapError(rc, nullptr, errors);
    sqlite3_exec(db_, "ROLLBACK TO dulmar_ddl; RELEASE dulmar_ddl;", nullptr, nullptr, nullptr);
  }
  catalog_.invalidate();
  catalog_.refresh(db_);
  return rc == SQLITE_OK ? 0 : -1;
}

int Session::compileBatch(std::string_view tsql, std::vector<Token>& tokens, std::vector<StatementSpan>& statements,
                          ErrorList& errors) {
  ServerError error;
  if (!tokenize(tsql, tokens, error)) {
    errors.push_back(error);
    return -1;
  }
  int rc = catalog_.refresh(db_);
  if (rc != SQLITE_OK) {
    mapError(rc, nullptr, errors);
    return -1;
  }
  statements = splitStatements(tsql, tokens);
  // Only syntax errors refuse the whole batch: names are checked statement by
  // statement, since an earlier statement may create what a later one uses.
  for (size_t i = 0; statements.size() > 1 && i < statements.size(); ++i) {
    Translation tr;
    if (!translate(tokens, statements[i].begin, statements[i].end, catalog_, context_, tr, error) &&
        (error.native == 102 || error.native == 156)) {
      errors.push_back(error);
      return -1;
    }
  }
  return 0;
}

int Session::execute(std::string_view tsql, Execution& out, ErrorList& errors) {
  release(out);
  out = Execution{};
  std::vector<Token> tokens;
  std::vector<StatementSpan> statements;
  if (compileBatch(tsql, tokens, statements, errors) != 0) return -1;
  ServerError error;
  for (size_t i = 0; i < statements.size(); ++i) {
    Translation tr;
    if (!translate(tokens, statements[i].begin, statements[i].end, catalog_, context_, tr, error)) {
      errors.push_back(error);
      addTerminationRecord(errors);
      return -1;
    }
    release(out);
    out = Execution{};
    if (runOne(tr, out, errors) != 0) return -1;
  }
  return 0;
}

int Session::runOne(const Translation& tr, Execution& out, ErrorList& errors) {
  switch (tr.kind) {
    case StatementKind::Empty: return 0;
    case StatementKind::Ddl:
      if (beginIfManual(errors)) return -1;
      return runScript(tr.script, errors);
    case StatementKind::Transaction: {
      int rc = sqlite3_exec(db_, tr.sql.c_str(), nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK) {
        mapError(rc, nullptr, errors);
        return -1;
      }
      return 0;
    }
    default: break;
  }
  if (beginIfManual(errors)) return -1;
  sqlite3_stmt* st = checkout(tr.sql, errors);
  if (!st) return -1;
  out.stmt = st;
  out.cacheKey = tr.sql;
  bindAll(st, tr.params);
  functionErrors_.clear();
  int rc = sqlite3_step(st);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
    rc = sqlite3_reset(st);
    mapError(rc, &tr, errors);
    release(out);
    return -1;
  }
  if (tr.kind == StatementKind::Select) {
    out.hasResultSet = true;
    out.columns = tr.columns;
    out.rowReady = rc == SQLITE_ROW;
    if (rc == SQLITE_DONE) release(out);
    return 0;
  }
  out.rowCount = sqlite3_changes(db_);
  release(out);
  return 0;
}

int Session::executeInternal(const std::string& sql, const std::vector<Value>& params,
                             const std::vector<ResultColumn>& columns, Execution& out, ErrorList& errors) {
  release(out);
  out = Execution{};
  Translation tr;
  tr.kind = StatementKind::Select;
  tr.sql = sql;
  tr.params = params;
  tr.columns = columns;
  return runOne(tr, out, errors);
}

int Session::next(Execution& out, ErrorList& errors) {
  if (!out.stmt) return 0;
  if (out.rowReady) {
    out.rowReady = false;
    return 1;
  }
  functionErrors_.clear();
  int rc = sqlite3_step(out.stmt);
  if (rc == SQLITE_ROW) return 1;
  if (rc == SQLITE_DONE) {
    release(out);
    return 0;
  }
  rc = sqlite3_reset(out.stmt);
  mapError(rc, nullptr, errors);
  release(out);
  return -1;
}

void Session::mapError(int rc, const Translation* tr, ErrorList& errors) {
  if (functionErrors_.pending) {
    functionErrors_.clear();
    errors.push_back(functionErrors_.error);
    addTerminationRecord(errors);
    return;
  }
  int extended = sqlite3_extended_errcode(db_);
  if ((rc & 0xff) == SQLITE_CONSTRAINT && tr) {
    mapConstraint(*tr, errors);
    addTerminationRecord(errors);
    return;
  }
  if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED) {
    ServerError e;
    e.native = 1222;
    e.state = "HYT00";
    e.message = "Lock request time out period exceeded.";
    errors.push_back(e);
    return;
  }
  ServerError e;
  e.native = 50000 + (extended & 0xff);
  e.state = "HY000";
  e.message = std::string("SQLite: ") + sqlite3_errmsg(db_);
  errors.push_back(e);
}

}  // namespace testdb
