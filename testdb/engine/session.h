#pragma once
// One connection to the database file: opens SQLite the way the tests and the
// benchmark need it, runs T-SQL through the translator, keeps prepared SQLite
// statements for reuse, and turns SQLite's failures into SQL Server's errors.

#include <sqlite3.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/catalog.h"
#include "engine/commits.h"
#include "engine/sqlite_functions.h"
#include "sqlserver/server_error.h"
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
  // the durable commits of this database, shared by its sessions (nullptr:
  // neither waited for nor counted)
  std::shared_ptr<CommitLedger> commits;
  // SessionDefaults: what a site's `user options` turn on for every session
  bool xactAbort = false;
  bool implicitTransactions = false;
};

/// Reads SessionDefaults: a comma list of XACT_ABORT and IMPLICIT_TRANSACTIONS
/// (either or both, without case) into options. Returns 0, or -1 for another word.
int readSessionDefaults(std::string_view text, SessionOptions& options);

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

/// How far a failed statement's error reaches, as SQL Server decides it.
enum class ErrorAction {
  Statement,  // the statement ends, the batch goes on
  Batch,      // the rest of the batch does not run
};

/// What SQL Server does after run-time error `native` with XACT_ABORT OFF.
ErrorAction errorActionOf(int native);

/// True when error `native` also rolls back an open transaction with XACT_ABORT OFF.
bool rollsBackTransaction(int native);

/// A batch as compileBatch leaves it for running. Compiling translates every
/// statement to find where it ends; a translation that nothing run before it
/// can change is kept, so a long batch is translated once, not twice.
struct CompiledBatch {
  std::vector<Token> tokens;
  std::vector<StatementSpan> statements;
  // per statement: its translation from compiling, or one of kind Empty
  // when it is to be translated as it runs (an empty statement needs neither)
  std::vector<Translation> translations;
  // the catalog's loads() the translations were made against
  unsigned long long catalogLoads = 0;
  // per statement: it only sets session options or begins or ends a
  // transaction, so the statement-numbered fault keys pass over it
  std::vector<bool> sessionControl;
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

  /// Runs a batch of T-SQL to its end; the last statement's result stays in
  /// `out`. Returns 0, or -1 with the errors of every failed statement.
  int execute(std::string_view tsql, Execution& out, ErrorList& errors);
  /// Tokenizes a batch and cuts it into statements where T-SQL ends them (at
  /// a ';' or where the next statement's keyword follows), refusing it whole
  /// when any statement has a syntax error, as SQL Server compiles a batch
  /// before it runs any of it. Returns 0, or -1 with errors.
  int compileBatch(std::string_view tsql, CompiledBatch& batch, ErrorList& errors);
  /// Runs statement `index` of a compiled batch into `out`, its errors marked
  /// with its line. Returns 0, or -1 with errors and `action` set: Batch when
  /// the rest of the batch must not run (an open transaction is then rolled
  /// back where SQL Server rolls it back).
  int runStatement(const CompiledBatch& batch, size_t index, Execution& out, ErrorList& errors, ErrorAction& action);
  /// @@TRANCOUNT: the depth of BEGIN TRAN, or 1 for the open transaction of manual commit.
  int tranCount() const;
  /// True after SET XACT_ABORT ON.
  bool xactAbort() const { return xactAbort_; }
  /// True after SET IMPLICIT_TRANSACTIONS ON.
  bool implicitTransactions() const { return implicitTransactions_; }
  /// The durable commits this session made since it opened: a statement or
  /// endTransaction that raised it committed.
  long durableCommits() const { return durableCommits_; }
  /// The statement met DeadlockAtStatements: adds 1205 naming sessionId and
  /// rolls back the open transaction; the caller ends the batch.
  void deadlockVictim(int sessionId, ErrorList& errors);
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
  int runTransaction(const Translation& tr, ErrorList& errors);
  void rollBackAll();
  int runScript(const std::string& script, ErrorList& errors);
  /// ALTER TABLE ... ADD CONSTRAINT: checks the stored rows (WITH CHECK), then
  /// edits the table's definition and records the constraint. Returns 0, or -1.
  int runAlter(const Translation& tr, ErrorList& errors);
  /// Puts tr.alterAdd into the stored definition of tr.target. Returns an SQLite code.
  int editDefinition(const Translation& tr, ErrorList& errors);
  sqlite3_stmt* checkout(const std::string& sql, ErrorList& errors);
  void mapError(int rc, const Translation* tr, ErrorList& errors);
  void mapConstraint(const Translation& tr, ErrorList& errors);
  std::string duplicateKeyValue(const Translation& tr, const Table& table, const Constraint& key);
  int beginIfManual(ErrorList& errors);
  /// With IMPLICIT_TRANSACTIONS ON, opens the transaction tr begins. Returns 0, or -1 with errors.
  int beginImplicit(const Translation& tr, ErrorList& errors);
  /// Waits for and counts the durable commit just made (in the ledger too).
  void noteCommit();
  /// Counts a change that committed on its own (no transaction is open).
  void noteAutocommit();

  sqlite3* db_ = nullptr;
  SessionOptions options_;
  Catalog catalog_;
  FunctionErrors functionErrors_;
  TranslateContext context_;
  bool autocommit_ = true;
  // open BEGIN TRANs (@@TRANCOUNT)
  int tranCount_ = 0;
  // SET XACT_ABORT ON: every run-time error ends the batch and its transaction
  bool xactAbort_ = false;
  // SET IMPLICIT_TRANSACTIONS ON: a statement on a table opens a transaction
  bool implicitTransactions_ = false;
  // see durableCommits()
  long durableCommits_ = 0;
  // idle prepared statements by SQL text
  std::unordered_map<std::string, std::vector<sqlite3_stmt*>> cache_;
  // idle statements held in cache_ (at most kMaxCachedStatements)
  size_t cachedCount_ = 0;
};

}  // namespace testdb
