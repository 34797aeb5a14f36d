#pragma once
// One connection to the database file: opens SQLite the way the tests and the
// benchmark need it, runs T-SQL through the translator, keeps prepared SQLite
// statements for reuse, and turns SQLite's failures into SQL Server's errors.

#include <sqlite3.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/catalog.h"
#include "sqlserver/server_error.h"
#include "engine/sqlite_functions.h"
#include "tsql/sql_script.h"
#include "tsql/translate.h"

namespace testdb {

struct SessionOptions {
  // path of the SQLite file (created when missing)
  std::string file;
  // the database name SQL Server messages show
  std::string databaseName;
  // PRAGMA journal_mode (WAL keeps autocommitted inserts fast)
  std::string journalMode = "WAL";
  // PRAGMA synchronous
  std::string synchronous = "NORMAL";
};

/// The state of one executed statement: its open result or its row count.
struct Execution {
  // the SQLite statement of an open result, or nullptr
  sqlite3_stmt* stmt = nullptr;
  // the cache key of stmt (its SQL text)
  std::string cacheKey;
  // the first row was stepped during execution and not yet fetched
  bool rowReady = false;
  // the statement produced a result set (even an empty one)
  bool hasResultSet = false;
  // its columns
  std::vector<ResultColumn> columns;
  // rows changed by INSERT/UPDATE/DELETE, -1 otherwise
  long long rowCount = -1;
};

class Session {
 public:
  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session();

  /// Opens the file. Returns 0, or -1 with errors (4060 when it cannot be opened).
  int open(const SessionOptions& options, ErrorList& errors);
  /// Closes the file; open executions must have been released.
  void close();

  /// Runs a batch of T-SQL; the last statement's result stays in `out`.
  /// Returns 0, or -1 with errors.
  int execute(std::string_view tsql, Execution& out, ErrorList& errors);
  /// Tokenizes a batch and cuts it into statements, refusing it whole when any
  /// statement has a syntax error, as SQL Server compiles a batch before it
  /// runs any of it. Returns 0, or -1 with errors. Front ends that answer
  /// statement by statement use it so they refuse exactly what execute does.
  int compileBatch(std::string_view tsql, std::vector<Token>& tokens, std::vector<StatementSpan>& statements,
                   ErrorList& errors);
  /// Moves to the next row of out. Returns 1 (row), 0 (no more rows), -1 with errors.
  int next(Execution& out, ErrorList& errors);
  /// Ends out's result and gives its statement back to the cache.
  void release(Execution& out);

  /// Autocommit (the default) or manual transactions.
  void setAutocommit(bool on) { autocommit_ = on; }
  bool autocommit() const { return autocommit_; }
  /// Commits or rolls back a manual transaction. Returns 0, or -1 with errors.
  int endTransaction(bool commit, ErrorList& errors);

  /// Runs raw SQLite SQL for catalog functions (SQLTables). Returns 0, or -1.
  int executeInternal(const std::string& sql, const std::vector<Value>& params,
                      const std::vector<ResultColumn>& columns, Execution& out, ErrorList& errors);

  sqlite3* db() { return db_; }
  const Catalog& catalog() const { return catalog_; }
  const std::string& databaseName() const { return options_.databaseName; }

 private:
  int runOne(const Translation& tr, Execution& out, ErrorList& errors);
  int runScript(const std::string& script, ErrorList& errors);
  sqlite3_stmt* checkout(const std::string& sql, ErrorList& errors);
  void mapError(int rc, const Translation* tr, ErrorList& errors);
  void mapConstraint(const Translation& tr, ErrorList& errors);
  std::string duplicateKeyValue(const Translation& tr, const Table& table, const Constraint& key);
  int beginIfManual(ErrorList& errors);

  sqlite3* db_ = nullptr;
  SessionOptions options_;
  Catalog catalog_;
  FunctionErrors functionErrors_;
  TranslateContext context_;
  bool autocommit_ = true;
  // idle prepared statements by SQL text
  std::unordered_map<std::string, std::vector<sqlite3_stmt*>> cache_;
  // idle statements held in cache_ (at most kMaxCachedStatements)
  size_t cachedCount_ = 0;
};

}  // namespace testdb
