#include "engine/session.h"

#include "tsql/sql_script.h"

namespace testdb {
namespace {

constexpr size_t kMaxCachedStatements = 256;

void bindValue(sqlite3_stmt* st, int index, const Value& v) {
  switch (v.kind) {
    case ValueKind::Null:
      sqlite3_bind_null(st, index);
      break;
    case ValueKind::Int:
      sqlite3_bind_int64(st, index, v.i);
      break;
    case ValueKind::Real:
      sqlite3_bind_double(st, index, v.d);
      break;
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
    std::string pragmas = "PRAGMA journal_mode=" + options.journalMode + "; PRAGMA synchronous=" + options.synchronous +
                          "; PRAGMA foreign_keys=ON;";
    rc = sqlite3_exec(db_, pragmas.c_str(), nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) rc = registerFunctions(db_, &functionErrors_);
  if (rc == SQLITE_OK) rc = catalog_.ensure(db_);
  if (rc != SQLITE_OK) {
    errors.push_back(serverError(4060, {options.databaseName}));
    close();
    return -1;
  }
  xactAbort_ = options.xactAbort;
  implicitTransactions_ = options.implicitTransactions;
  durableCommits_ = 0;
  return 0;
}

void Session::close() {
  for (auto& [sql, list] : cache_) {
    for (sqlite3_stmt* st : list) sqlite3_finalize(st);
  }
  cache_.clear();
  cachedCount_ = 0;
  catalog_.detach();
  tranCount_ = 0;
  xactAbort_ = false;
  implicitTransactions_ = false;
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

int Session::compileBatch(std::string_view tsql, CompiledBatch& batch, ErrorList& errors) {
  ServerError error;
  std::vector<Token>& tokens = batch.tokens;
  batch.statements.clear();
  batch.translations.clear();
  batch.sessionControl.clear();
  if (!tokenize(tsql, tokens, error)) {
    errors.push_back(error);
    return -1;
  }
  int rc = catalog_.refresh(db_);
  if (rc != SQLITE_OK) {
    mapError(rc, nullptr, errors);
    return -1;
  }
  batch.catalogLoads = catalog_.loads();
  // Lines are counted once over the text as the statements are found, so a
  // long batch costs no more than its statements one by one.
  int line = 1;
  size_t counted = 0;
  auto lineAt = [&](size_t offset) {
    for (; counted < offset && counted < tsql.size(); ++counted) {
      if (tsql[counted] == '\n') ++line;
    }
    return line;
  };
  const size_t end = tokens.size() - 1;  // the End token
  size_t i = 0;
  while (i < end) {
    if (tokens[i].kind == TokenKind::Symbol && tokens[i].text == ";") {
      ++i;
      continue;
    }
    StatementSpan span;
    span.begin = i;
    span.textBegin = tokens[i].offset;
    span.line = lineAt(tokens[i].offset);
    // Only syntax errors refuse the whole batch: names are checked statement
    // by statement as they run, since an earlier statement may create what a
    // later one uses.
    Translation tr;
    size_t stop = i;
    const bool translated = translateInBatch(tokens, i, end, catalog_, context_, tr, error, stop);
    if (!translated && !tr.compiledWhenRun && (error.native == 102 || error.native == 156)) {
      error.line = lineAt(tokens[stop < end ? stop : end].offset);
      errors.push_back(error);
      batch.statements.clear();
      batch.translations.clear();
      batch.sessionControl.clear();
      return -1;
    }
    if (stop <= i) stop = i + 1;
    span.end = stop;
    span.textEnd = tokens[stop].offset;
    batch.statements.push_back(span);
    batch.sessionControl.push_back(translated && tr.sessionControl);
    // What runs as it was compiled: plain DML and queries that read nothing
    // an earlier statement of the batch could change but the catalog, which
    // runStatement checks. An error is always found again as the statement
    // runs, where its line and action are settled.
    const bool keep = translated && !tr.compiledWhenRun && !tr.readsSessionState &&
                      (tr.kind == StatementKind::Select || tr.kind == StatementKind::Insert ||
                       tr.kind == StatementKind::Update || tr.kind == StatementKind::Delete);
    batch.translations.push_back(keep ? std::move(tr) : Translation{});
    i = stop;
  }
  return 0;
}

int Session::execute(std::string_view tsql, Execution& out, ErrorList& errors) {
  release(out);
  out = Execution{};
  CompiledBatch batch;
  if (compileBatch(tsql, batch, errors) != 0) return -1;
  int result = 0;
  for (size_t i = 0; i < batch.statements.size(); ++i) {
    release(out);
    out = Execution{};
    ErrorAction action = ErrorAction::Statement;
    if (runStatement(batch, i, out, errors, action) == 0) continue;
    result = -1;
    if (action == ErrorAction::Batch) break;
  }
  return result;
}

int Session::runStatement(const CompiledBatch& batch, size_t index, Execution& out, ErrorList& errors,
                          ErrorAction& action) {
  action = ErrorAction::Statement;
  const StatementSpan& statement = batch.statements[index];
  size_t first = errors.size();
  context_.tranCount = tranCount();
  Translation translated;
  ServerError error;
  int rc = 0;
  const bool reuse = batch.translations[index].kind != StatementKind::Empty && batch.catalogLoads == catalog_.loads();
  const Translation& tr = reuse ? batch.translations[index] : translated;
  if (!reuse && !translate(batch.tokens, statement.begin, statement.end, catalog_, context_, translated, error)) {
    errors.push_back(error);
    addTerminationRecord(errors);
    rc = -1;
  } else {
    if (tr.xactAbort >= 0) xactAbort_ = tr.xactAbort == 1;
    // Turning it off leaves an open transaction open, as on SQL Server.
    if (tr.implicitTransactions >= 0) implicitTransactions_ = tr.implicitTransactions == 1;
    rc = runOne(tr, out, errors);
  }
  if (rc == 0) return 0;
  for (size_t i = first; i < errors.size(); ++i) {
    if (errors[i].line == 0) errors[i].line = statement.line;
  }
  int native = errors.size() > first ? errors[first].native : 0;
  if (xactAbort_ || errorActionOf(native) == ErrorAction::Batch) action = ErrorAction::Batch;
  if (xactAbort_ || rollsBackTransaction(native)) rollBackAll();
  return -1;
}

int Session::runOne(const Translation& tr, Execution& out, ErrorList& errors) {
  switch (tr.kind) {
    case StatementKind::Empty:
      return 0;
    case StatementKind::Transaction:
      return runTransaction(tr, errors);
    default:
      break;
  }
  if (beginIfManual(errors) || beginImplicit(tr, errors)) return -1;
  if (tr.kind == StatementKind::Ddl || tr.kind == StatementKind::AlterTable) {
    if ((tr.kind == StatementKind::Ddl ? runScript(tr.script, errors) : runAlter(tr, errors)) != 0) return -1;
    noteAutocommit();
    return 0;
  }
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
  if (out.rowCount > 0) noteAutocommit();
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
