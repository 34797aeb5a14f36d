// Running statements and describing their results.

#include <cstring>

#include "odbc/odbc_columns.h"
#include "odbc/odbc_handles.h"
#include "odbc/request_log.h"

namespace testdb {
namespace {

// A request of several statements sent to a data source that takes no batches.
constexpr std::string_view kNoBatches =
    "This data source takes one statement per request (BatchSupport=0): the request was not run.";

SQLRETURN run(Stmt* stmt, const std::string& text) {
  closeCursor(stmt);
  Dbc* dbc = stmt->dbc;
  stmt->batch.statements.clear();
  stmt->nextStatement = 0;
  // A cancel that came while nothing ran has nothing to end.
  stmt->cancelled = false;
  if (dbc->faults.broken()) {
    loseConnection(dbc, stmt->diag);
    return SQL_ERROR;
  }
  stmt->batchText = std::make_unique<std::string>(text);
  ErrorList errors;
  if (dbc->session.compileBatch(*stmt->batchText, stmt->batch, errors) != 0) {
    stmt->diag.add(errors);
    return SQL_ERROR;
  }
  if (!dbc->settings.batchSupport && stmt->batch.statements.size() > 1) {
    stmt->batch.statements.clear();
    stmt->diag.driver("HYC00", kNoBatches);
    return SQL_ERROR;
  }
  SQLRETURN rc = nextResult(stmt, true);
  // A request with nothing to run (only comments) succeeds without a result.
  return rc == SQL_NO_DATA ? SQL_SUCCESS : rc;
}

const ResultColumn* columnAt(Stmt* stmt, SQLUSMALLINT number) {
  if (!stmt->exec.hasResultSet || number < 1 || number > stmt->exec.columns.size()) {
    stmt->diag.driver("07009", "Invalid descriptor index");
    return nullptr;
  }
  return &stmt->exec.columns[number - 1];
}

}  // namespace

SQLRETURN nextResult(Stmt* stmt, bool first) {
  Dbc* dbc = stmt->dbc;
  Session& session = dbc->session;
  while (stmt->nextStatement < stmt->batch.statements.size()) {
    const StatementSpan& statement = stmt->batch.statements[stmt->nextStatement++];
    const bool last = stmt->nextStatement == stmt->batch.statements.size();
    std::string_view text =
        std::string_view(*stmt->batchText).substr(statement.textBegin, statement.textEnd - statement.textBegin);
    session.release(stmt->exec);
    stmt->exec = Execution{};
    stmt->onRow = false;
    ServerError injected;
    ErrorList errors;
    ErrorAction action = ErrorAction::Statement;
    const size_t index = stmt->nextStatement - 1;
    // A cancel is an attention: the server ends the batch there, and an open
    // transaction stays open until the client ends it.
    if (stmt->cancelled.exchange(false)) {
      stmt->nextStatement = stmt->batch.statements.size();
      stmt->diag.driver("HY008", "Operation canceled");
      return SQL_ERROR;
    }
    const FaultVerdict verdict = stmt->batch.sessionControl[index] ? dbc->faults.beforeSessionControl()
                                                                   : dbc->faults.beforeStatement(text, injected);
    switch (verdict) {
      case FaultVerdict::Run:
        break;
      case FaultVerdict::Fail:
        injected.line = statement.line;
        errors.push_back(injected);
        addTerminationRecord(errors);
        stmt->diag.add(errors);
        if (errorActionOf(injected.native) == ErrorAction::Batch) stmt->nextStatement = stmt->batch.statements.size();
        return SQL_ERROR;
      case FaultVerdict::Deadlock:
        session.deadlockVictim(dbc->sessionId, errors);
        errors.back().line = statement.line;
        stmt->diag.add(errors);
        stmt->nextStatement = stmt->batch.statements.size();
        return SQL_ERROR;
      case FaultVerdict::BreakAfterRun:
        // The server did the work; only its answer never arrives.
        session.runStatement(stmt->batch, index, stmt->exec, errors, action);
        loseConnection(dbc, stmt->diag);
        return SQL_ERROR;
      case FaultVerdict::Break:
        loseConnection(dbc, stmt->diag);
        return SQL_ERROR;
      case FaultVerdict::Stall:
        // In the driver's own process nothing can wait for a server: a stall
        // is its request's time limit running out at once. The driver's
        // attention then ends the batch; an open transaction stays open.
        stmt->nextStatement = stmt->batch.statements.size();
        stmt->diag.driver("HYT00", "Query timeout expired", 0);
        return SQL_ERROR;
    }
    const long committed = session.durableCommits();
    const int rc = session.runStatement(stmt->batch, index, stmt->exec, errors, action);
    // Committed, and the answer lost with the link: the client cannot know.
    if (session.durableCommits() != committed && dbc->faults.afterCommit()) {
      loseConnection(dbc, stmt->diag);
      return SQL_ERROR;
    }
    if (rc != 0) {
      stmt->diag.add(errors);
      if (action == ErrorAction::Batch) stmt->nextStatement = stmt->batch.statements.size();
      return SQL_ERROR;
    }
    // SET, BEGIN TRAN and DDL answer without a count: no result of their own.
    if (!stmt->exec.hasResultSet && stmt->exec.rowCount < 0 && !(first && last)) continue;
    stmt->readOffsets.assign(stmt->exec.columns.size() + 1, 0);
    return SQL_SUCCESS;
  }
  return SQL_NO_DATA;
}

}  // namespace testdb

using namespace testdb;

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT handle, SQLCHAR* text, SQLINTEGER length) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  stmt->diag.clear();
  const std::string request = inputText(text, length);
  logRequest(stmt->dbc->settings.requestLog, request);
  logLimit(stmt->dbc->settings.limitLog, "query-timeout", stmt->queryTimeout);
  return run(stmt, request);
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT handle, SQLCHAR* text, SQLINTEGER length) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  stmt->diag.clear();
  closeCursor(stmt);
  if (stmt->dbc->faults.broken()) {
    connectionBroken(stmt->diag);
    return SQL_ERROR;
  }
  // Like SQL Server's driver, preparation is deferred to the execution.
  stmt->prepared = inputText(text, length);
  stmt->hasPrepared = true;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT handle) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  stmt->diag.clear();
  if (!stmt->hasPrepared) {
    stmt->diag.driver("HY010", "Function sequence error");
    return SQL_ERROR;
  }
  return run(stmt, stmt->prepared);
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT handle, SQLLEN* count) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  stmt->diag.clear();
  if (count) *count = static_cast<SQLLEN>(stmt->exec.rowCount);
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT handle, SQLSMALLINT* count) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  stmt->diag.clear();
  if (count) *count = stmt->exec.hasResultSet ? static_cast<SQLSMALLINT>(stmt->exec.columns.size()) : 0;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT handle, SQLUSMALLINT number, SQLCHAR* name, SQLSMALLINT capacity,
                                 SQLSMALLINT* nameLength, SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                                 SQLSMALLINT* nullable) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  stmt->diag.clear();
  const ResultColumn* c = columnAt(stmt, number);
  if (!c) return SQL_ERROR;
  SQLRETURN rc = copyOut(c->label, name, capacity, nameLength);
  if (rc == SQL_SUCCESS_WITH_INFO) stmt->diag.driver("01004", "String data, right truncated");
  if (type) *type = sqlTypeOf(*c, stmt->dbc->env->odbcVersion);
  if (size) *size = columnSizeOf(*c);
  if (digits) *digits = decimalDigitsOf(*c);
  if (nullable) *nullable = c->nullable ? SQL_NULLABLE : SQL_NO_NULLS;
  return rc;
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT handle, SQLUSMALLINT number, SQLUSMALLINT field, SQLPOINTER text,
                                  SQLSMALLINT capacity, SQLSMALLINT* length, SQLLEN* numeric) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  stmt->diag.clear();
  if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT) {
    if (numeric) *numeric = stmt->exec.hasResultSet ? static_cast<SQLLEN>(stmt->exec.columns.size()) : 0;
    return SQL_SUCCESS;
  }
  const ResultColumn* c = columnAt(stmt, number);
  if (!c) return SQL_ERROR;
  const char* str = nullptr;
  SQLLEN n = 0;
  switch (field) {
    case SQL_DESC_LABEL:
    case SQL_DESC_NAME:
    case SQL_COLUMN_NAME:
    case SQL_DESC_BASE_COLUMN_NAME:
      str = c->label.c_str();
      break;
    case SQL_DESC_TYPE_NAME:
      str = typeNameOf(*c);
      break;
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
    case SQL_DESC_LOCAL_TYPE_NAME:
      str = "";
      break;
    case SQL_DESC_DISPLAY_SIZE:
      n = displaySizeOf(*c);
      break;
    case SQL_DESC_CONCISE_TYPE:
      n = sqlTypeOf(*c, stmt->dbc->env->odbcVersion);
      break;
    case SQL_DESC_TYPE: {
      SQLSMALLINT t = sqlTypeOf(*c, stmt->dbc->env->odbcVersion);
      n = t == SQL_TYPE_TIMESTAMP ? SQL_DATETIME : t;
      break;
    }
    case SQL_DESC_LENGTH:
    case SQL_DESC_PRECISION:
    case SQL_COLUMN_LENGTH:
    case SQL_COLUMN_PRECISION:
      n = static_cast<SQLLEN>(columnSizeOf(*c));
      break;
    case SQL_DESC_OCTET_LENGTH:
      n = static_cast<SQLLEN>(columnSizeOf(*c));
      break;
    case SQL_DESC_SCALE:
    case SQL_COLUMN_SCALE:
      n = decimalDigitsOf(*c);
      break;
    case SQL_DESC_NULLABLE:
    case SQL_COLUMN_NULLABLE:
      n = c->nullable ? SQL_NULLABLE : SQL_NO_NULLS;
      break;
    case SQL_DESC_UNSIGNED:
      n = c->typeKnown &&
                  (isInteger(c->type.type) || c->type.type == ColumnType::Float || c->type.type == ColumnType::Decimal)
              ? SQL_FALSE
              : SQL_TRUE;
      break;
    case SQL_DESC_SEARCHABLE:
      n = SQL_PRED_SEARCHABLE;
      break;
    case SQL_DESC_UPDATABLE:
      n = SQL_ATTR_READWRITE_UNKNOWN;
      break;
    case SQL_DESC_CASE_SENSITIVE:
      n = SQL_FALSE;
      break;
    case SQL_DESC_AUTO_UNIQUE_VALUE:
    case SQL_DESC_FIXED_PREC_SCALE:
    case SQL_DESC_UNNAMED:
      n = field == SQL_DESC_UNNAMED && c->label.empty() ? SQL_UNNAMED : SQL_FALSE;
      break;
    case SQL_DESC_NUM_PREC_RADIX:
      n = c->typeKnown && !isText(c->type.type) ? 10 : 0;
      break;
    default:
      stmt->diag.driver("HY091", "Invalid descriptor field identifier");
      return SQL_ERROR;
  }
  if (str) {
    SQLRETURN rc = copyOut(str, static_cast<SQLCHAR*>(text), capacity, length);
    if (rc == SQL_SUCCESS_WITH_INFO) stmt->diag.driver("01004", "String data, right truncated");
    return rc;
  }
  if (numeric) *numeric = n;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT handle) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  stmt->diag.clear();
  // The rows of this result left unread are dropped; the batch goes on.
  if (stmt->dbc->connected) stmt->dbc->session.release(stmt->exec);
  stmt->exec = Execution{};
  stmt->onRow = false;
  if (stmt->nextStatement >= stmt->batch.statements.size()) return SQL_NO_DATA;
  return nextResult(stmt, false);
}

SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT handle) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  stmt->diag.clear();
  closeCursor(stmt);
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLCancel(SQLHSTMT handle) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  // Only the flag: the call may come from another thread while the
  // statement runs, and the diagnostics belong to that call.
  stmt->cancelled = true;
  return SQL_SUCCESS;
}
