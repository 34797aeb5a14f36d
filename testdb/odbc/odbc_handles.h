#pragma once
// The driver's handles and their diagnostic records.

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/session.h"
#include "odbc/dsn_settings.h"
#include "sqlserver/server_error.h"

namespace testdb {

/// The tag in front of every message, as FreeTDS puts "[FreeTDS][SQL Server]".
constexpr std::string_view kDriverTag = "[dulmar-testdb]";
constexpr std::string_view kServerTag = "[dulmar-testdb][SQL Server]";

struct DiagRecord {
  // SQLSTATE
  std::string state;
  // native error number
  SQLINTEGER native = 0;
  // message with the driver's tag
  std::string message;
};

struct DiagArea {
  // records of the last call on the handle
  std::vector<DiagRecord> records;
  void clear() { records.clear(); }
  /// The return code the records tell of: SQL_ERROR when one is an error,
  /// SQL_SUCCESS_WITH_INFO when all are warnings (01xxx), else SQL_SUCCESS.
  SQLRETURN returnCode() const;
  /// Adds a server error (with the [SQL Server] tag).
  void add(const ServerError& e);
  /// Adds all errors of a failed operation.
  void add(const ErrorList& errors) {
    for (const ServerError& e : errors) add(e);
  }
  /// Adds a driver condition (01004, HY010 ...) with the driver's tag only.
  void driver(std::string_view state, std::string_view message, SQLINTEGER native = 0);
};

constexpr uint32_t kEnvMagic = 0x454e5631;
constexpr uint32_t kDbcMagic = 0x44424331;
constexpr uint32_t kStmtMagic = 0x53544d31;

struct Stmt;

struct Env {
  // kEnvMagic while the handle is alive
  uint32_t magic = kEnvMagic;
  DiagArea diag;
  // SQL_ATTR_ODBC_VERSION
  SQLINTEGER odbcVersion = SQL_OV_ODBC3;
};

struct Dbc {
  // kDbcMagic while the handle is alive
  uint32_t magic = kDbcMagic;
  Env* env = nullptr;
  DiagArea diag;
  // the open database, when connected
  Session session;
  bool connected = false;
  // the data source's keys
  DsnSettings settings;
  std::string dsn;
  std::string user;
  // injected faults, and whether the link is lost
  ConnectionFaults faults;
  // the session's id (@@SPID), which the deadlock message names
  int sessionId = 0;
  // SQL_ATTR_LOGIN_TIMEOUT as the application set it (the limit log shows it)
  SQLULEN loginTimeout = 0;
  // the durable commits of the database, written to its count file at disconnect
  std::shared_ptr<CommitLedger> commits;
  // statements of this connection, freed with it
  std::vector<Stmt*> statements;
};

struct Binding {
  // SQLBindCol's target type, SQL_C_DEFAULT when unbound
  SQLSMALLINT cType = 0;
  SQLPOINTER target = nullptr;
  SQLLEN capacity = 0;
  SQLLEN* indicator = nullptr;
};

struct Stmt {
  // kStmtMagic while the handle is alive
  uint32_t magic = kStmtMagic;
  Dbc* dbc = nullptr;
  DiagArea diag;
  // the executed statement's result
  Execution exec;
  // a current row was fetched and its columns may be read
  bool onRow = false;
  // SQLPrepare's text, run by SQLExecute
  std::string prepared;
  bool hasPrepared = false;
  // bound columns by number (index 0 unused)
  std::vector<Binding> bindings;
  // SQLGetData: bytes of each column already returned for the current row
  std::vector<SQLLEN> readOffsets;
  // the executed batch: its text (the tokens point into it), its statements
  // and the next one to run when the client asks for the next result
  std::unique_ptr<std::string> batchText;
  CompiledBatch batch;
  size_t nextStatement = 0;
  // SQLCancel, maybe from another thread: an attention that ends the batch
  std::atomic<bool> cancelled{false};
  // SQL_ATTR_QUERY_TIMEOUT as the application set it (the limit log shows it)
  SQLULEN queryTimeout = 0;
};

/// The handle when it is a live one of its kind, else nullptr.
Env* toEnv(SQLHANDLE h);
Dbc* toDbc(SQLHANDLE h);
Stmt* toStmt(SQLHANDLE h);

/// Return code for a diagnostic area: SQL_SUCCESS or SQL_SUCCESS_WITH_INFO.
inline SQLRETURN infoOrSuccess(const DiagArea& d) { return d.records.empty() ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO; }

/// Copies text into an ODBC output buffer (capacity in bytes, terminated).
/// Returns SQL_SUCCESS, or SQL_SUCCESS_WITH_INFO when it was cut.
SQLRETURN copyOut(std::string_view text, SQLCHAR* buffer, SQLLEN capacity, SQLSMALLINT* length);

/// Adds the broken-connection records (08S01) to diag.
void connectionBroken(DiagArea& diag);

/// The link of dbc is lost: what the server does then (its open transaction
/// rolled back, its results gone), and the 08S01 records in diag.
void loseConnection(Dbc* dbc, DiagArea& diag);

/// Closes the connection's statements and its session (what was not
/// committed is rolled back) and writes the database's commit count.
void disconnect(Dbc* dbc);

/// Closes the statement's result; the statements of its batch not yet run
/// still run, their results unread, as the server runs them on its own.
void closeCursor(Stmt* stmt);

/// Runs the batch's statements up to the next one with a result (rows, a
/// row count or an error) and makes it the statement's result; statements
/// without one (SET, BEGIN TRAN, DDL) are passed over unless `first` finds
/// nothing else. Returns SQL_SUCCESS, SQL_ERROR (the result is an error, its
/// records in the statement's diag) or SQL_NO_DATA.
SQLRETURN nextResult(Stmt* stmt, bool first);

/// Commits or rolls back the connection's open transaction. Returns
/// SQL_SUCCESS, or SQL_ERROR with the server's records in the connection's diag.
SQLRETURN endTransaction(Dbc* dbc, bool commit);

/// The length of an input text given as (pointer, length or SQL_NTS).
std::string inputText(const SQLCHAR* text, SQLINTEGER length);

}  // namespace testdb
