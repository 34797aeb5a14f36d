// Connecting, transactions and what the driver tells about itself.

#include <atomic>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "odbc/odbc_handles.h"
#include "odbc/request_log.h"
#include "tsql/tsql_lexer.h"

namespace testdb {
namespace {

// Letters only, so a DSN value can never change the PRAGMA statement.
std::string pragmaWord(const std::string& value, const char* fallback) {
  if (value.empty()) return fallback;
  for (char c : value) {
    if (!isalpha(static_cast<unsigned char>(c))) return fallback;
  }
  return value;
}

// The faults of one data source are shared by every connection this process
// opens to it, so statement numbers and a downed server outlive reconnects. A
// data source whose keys changed starts afresh.
std::shared_ptr<FaultPlan> faultPlanFor(const std::string& dsn, const DsnSettings& s) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<FaultPlan>> plans;
  const FaultSettings& f = s.faults;
  std::string key = dsn + '\n' + s.file + '\n' + std::to_string(f.failStmtAllocFrom) + '\n' + f.failOnText + '\n' +
                    std::to_string(f.failNative) + '\n' + f.failState + '\n' + f.failMessage + '\n' +
                    std::to_string(f.breakAfterStatements) + '\n' + (f.breakAfterRunning ? "1" : "0") +
                    (f.refuseConnectAfterBreak ? "1" : "0");
  for (const std::vector<long>* list :
       {&f.breakAtStatements, &f.stallAtStatements, &f.deadlockAtStatements, &f.breakAfterCommits}) {
    key += ';';
    for (long n : *list) key += ',' + std::to_string(n);
  }
  std::lock_guard<std::mutex> lock(mutex);
  std::shared_ptr<FaultPlan>& plan = plans[key];
  if (!plan) plan = std::make_shared<FaultPlan>(f);
  return plan;
}

// The durable commits of one database file are counted over every connection
// this process opens to it, as a server counts them for all its clients.
std::shared_ptr<CommitLedger> ledgerFor(const DsnSettings& s) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<CommitLedger>> ledgers;
  std::string key = s.file + '\n' + std::to_string(s.commits.commitMs) + '\n' + s.commits.countFile;
  std::lock_guard<std::mutex> lock(mutex);
  std::shared_ptr<CommitLedger>& ledger = ledgers[key];
  if (!ledger) ledger = std::make_shared<CommitLedger>(s.commits);
  return ledger;
}

// A session id per connection, as SQL Server numbers user sessions from 51.
int nextSessionId() {
  static std::atomic<int> next{51};
  return next++;
}

// What SQL Server's own driver reports when nothing listens at the server's address.
void serverUnreachable(DiagArea& diag) {
  diag.driver("08001", "TCP Provider: No connection could be made because the target machine actively refused it.",
              10061);
  diag.driver("HYT00", "Login timeout expired");
  diag.driver("08001",
              "A network-related or instance-specific error has occurred while establishing a connection to SQL "
              "Server. Server is not found or not accessible. Check if instance name is correct and if SQL Server "
              "is configured to allow remote connections. For more information see SQL Server Books Online.",
              10061);
}

SQLRETURN connect(Dbc* dbc, const std::string& dsn, const std::string& user, const std::string& password) {
  dbc->diag.clear();
  if (dbc->connected) {
    dbc->diag.driver("08002", "Connection name in use");
    return SQL_ERROR;
  }
  std::string badKey;
  int read = readDsnSettings(dsn, dbc->settings, badKey);
  if (read == -1) {
    dbc->diag.driver("IM002", "Data source name not found or has no Database key");
    return SQL_ERROR;
  }
  logLimit(dbc->settings.limitLog, "login-timeout", dbc->loginTimeout);
  if (read != 0) {
    dbc->diag.driver("HY024", "Invalid attribute value: " + badKey);
    return SQL_ERROR;
  }
  const DsnSettings& s = dbc->settings;
  if (dbc->faults.connect(faultPlanFor(dsn, s)) != 0) {
    serverUnreachable(dbc->diag);
    return SQL_ERROR;
  }
  // Logins compare without case, passwords with it, as on SQL Server.
  if (!s.login.empty() && (!equalsNoCase(user, s.login) || password != s.password)) {
    dbc->diag.add(serverError(18456, {user}));
    return SQL_ERROR;
  }
  SessionOptions options;
  options.file = s.file;
  options.databaseName = s.databaseName;
  options.journalMode = pragmaWord(s.journalMode, "WAL");
  options.synchronous = pragmaWord(s.synchronous, "NORMAL");
  options.commits = ledgerFor(s);
  options.xactAbort = s.xactAbort;
  options.implicitTransactions = s.implicitTransactions;
  ErrorList errors;
  if (dbc->session.open(options, errors) != 0) {
    dbc->diag.add(errors);
    dbc->diag.add(serverError(18456, {user}));
    return SQL_ERROR;
  }
  dbc->connected = true;
  dbc->sessionId = nextSessionId();
  dbc->commits = options.commits;
  dbc->dsn = dsn;
  dbc->user = user;
  return SQL_SUCCESS;
}

// The value of key in "KEY=value;KEY2={value};..." (keys without case).
std::string connectionValue(const std::string& text, const char* key) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eq = text.find('=', pos);
    if (eq == std::string::npos) break;
    std::string name = text.substr(pos, eq - pos);
    while (!name.empty() && name.front() == ' ') name.erase(0, 1);
    size_t end;
    std::string value;
    if (eq + 1 < text.size() && text[eq + 1] == '{') {
      end = text.find('}', eq + 2);
      if (end == std::string::npos) end = text.size();
      value = text.substr(eq + 2, end - eq - 2);
      end = text.find(';', end);
    } else {
      end = text.find(';', eq + 1);
      value = text.substr(eq + 1, (end == std::string::npos ? text.size() : end) - eq - 1);
    }
    if (equalsNoCase(name, key)) return value;
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return {};
}

}  // namespace
}  // namespace testdb

using namespace testdb;

SQLRETURN SQL_API SQLConnect(SQLHDBC handle, SQLCHAR* dsn, SQLSMALLINT dsnLength, SQLCHAR* user, SQLSMALLINT userLength,
                             SQLCHAR* password, SQLSMALLINT passwordLength) {
  Dbc* dbc = toDbc(handle);
  if (!dbc) return SQL_INVALID_HANDLE;
  return connect(dbc, inputText(dsn, dsnLength), inputText(user, userLength), inputText(password, passwordLength));
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC handle, SQLHWND, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                                   SQLSMALLINT outCapacity, SQLSMALLINT* outLength, SQLUSMALLINT) {
  Dbc* dbc = toDbc(handle);
  if (!dbc) return SQL_INVALID_HANDLE;
  std::string text = inputText(in, inLength);
  SQLRETURN rc = connect(dbc, connectionValue(text, "DSN"), connectionValue(text, "UID"), connectionValue(text, "PWD"));
  if (SQL_SUCCEEDED(rc)) copyOut(text, out, outCapacity, outLength);
  return rc;
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC handle) {
  Dbc* dbc = toDbc(handle);
  if (!dbc) return SQL_INVALID_HANDLE;
  dbc->diag.clear();
  disconnect(dbc);
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
  if (type == SQL_HANDLE_ENV) return toEnv(handle) ? SQL_SUCCESS : SQL_INVALID_HANDLE;
  Dbc* dbc = toDbc(handle);
  if (!dbc) return SQL_INVALID_HANDLE;
  dbc->diag.clear();
  if (dbc->faults.broken()) {
    connectionBroken(dbc->diag);
    return SQL_ERROR;
  }
  if (!dbc->connected) return SQL_SUCCESS;
  const long before = dbc->session.durableCommits();
  if (endTransaction(dbc, completion == SQL_COMMIT) != SQL_SUCCESS) return SQL_ERROR;
  // Committed, and the answer lost with the link.
  if (dbc->session.durableCommits() != before && dbc->faults.afterCommit()) {
    loseConnection(dbc, dbc->diag);
    return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC handle, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT capacity,
                             SQLSMALLINT* length) {
  Dbc* dbc = toDbc(handle);
  if (!dbc) return SQL_INVALID_HANDLE;
  dbc->diag.clear();
  const char* text = nullptr;
  std::string owned;
  SQLUINTEGER number = 0;
  bool isShort = false;
  switch (type) {
    case SQL_DRIVER_NAME:
      text = "libdulmar_testdb.so";
      break;
    case SQL_DRIVER_VER:
      text = "01.00.0000";
      break;
    case SQL_DRIVER_ODBC_VER:
      text = "03.00";
      break;
    case SQL_DBMS_NAME:
      text = "Microsoft SQL Server";
      break;
    case SQL_DBMS_VER:
      text = "10.00.0000 dulmar-testdb";
      break;
    case SQL_DATA_SOURCE_NAME:
      owned = dbc->dsn;
      break;
    case SQL_SERVER_NAME:
      text = "dulmar-testdb";
      break;
    case SQL_DATABASE_NAME:
      owned = dbc->settings.databaseName;
      break;
    case SQL_USER_NAME:
      owned = dbc->user;
      break;
    case SQL_IDENTIFIER_QUOTE_CHAR:
      text = "\"";
      break;
    case SQL_CATALOG_NAME_SEPARATOR:
      text = ".";
      break;
    case SQL_SEARCH_PATTERN_ESCAPE:
      text = "\\";
      break;
    case SQL_DATA_SOURCE_READ_ONLY:
      text = "N";
      break;
    case SQL_ACCESSIBLE_TABLES:
      text = "Y";
      break;
    case SQL_COLUMN_ALIAS:
      text = "Y";
      break;
    // What Microsoft's SQL Server drivers answer, unless the data source says it takes no batches.
    case SQL_MULT_RESULT_SETS:
      text = dbc->settings.batchSupport ? "Y" : "N";
      break;
    case SQL_BATCH_SUPPORT:
      number = dbc->settings.batchSupport
                   ? SQL_BS_SELECT_EXPLICIT | SQL_BS_ROW_COUNT_EXPLICIT | SQL_BS_SELECT_PROC | SQL_BS_ROW_COUNT_PROC
                   : 0;
      break;
    case SQL_BATCH_ROW_COUNT:
      number = dbc->settings.batchSupport ? SQL_BRC_EXPLICIT : 0;
      break;
    case SQL_PARAM_ARRAY_ROW_COUNTS:
      number = SQL_PARC_BATCH;
      break;
    case SQL_OWNER_TERM:
      text = "owner";
      break;
    case SQL_TABLE_TERM:
      text = "table";
      break;
    case SQL_CATALOG_TERM:
      text = "database";
      break;
    case SQL_PROCEDURE_TERM:
      text = "stored procedure";
      break;
    case SQL_TXN_CAPABLE:
      number = SQL_TC_ALL;
      isShort = true;
      break;
    case SQL_CURSOR_COMMIT_BEHAVIOR:
    case SQL_CURSOR_ROLLBACK_BEHAVIOR:
      number = SQL_CB_CLOSE;
      isShort = true;
      break;
    case SQL_MAX_CONCURRENT_ACTIVITIES:
    case SQL_MAX_DRIVER_CONNECTIONS:
      number = 0;
      isShort = true;
      break;
    case SQL_IDENTIFIER_CASE:
      number = SQL_IC_MIXED;
      isShort = true;
      break;
    case SQL_QUOTED_IDENTIFIER_CASE:
      number = SQL_IC_MIXED;
      isShort = true;
      break;
    case SQL_MAX_COLUMN_NAME_LEN:
    case SQL_MAX_TABLE_NAME_LEN:
    case SQL_MAX_SCHEMA_NAME_LEN:
    case SQL_MAX_CATALOG_NAME_LEN:
      number = 128;
      isShort = true;
      break;
    case SQL_NON_NULLABLE_COLUMNS:
      number = SQL_NNC_NON_NULL;
      isShort = true;
      break;
    case SQL_TXN_ISOLATION_OPTION:
    case SQL_DEFAULT_TXN_ISOLATION:
      number = SQL_TXN_SERIALIZABLE;
      break;
    case SQL_GETDATA_EXTENSIONS:
      number = SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER;
      break;
    case SQL_SCROLL_OPTIONS:
      number = SQL_SO_FORWARD_ONLY;
      break;
    case SQL_CURSOR_SENSITIVITY:
      number = SQL_INSENSITIVE;
      break;
    case SQL_ODBC_INTERFACE_CONFORMANCE:
      number = SQL_OIC_CORE;
      break;
    case SQL_SQL_CONFORMANCE:
      number = SQL_SC_SQL92_ENTRY;
      break;
    case SQL_ASYNC_MODE:
      number = SQL_AM_NONE;
      break;
    case SQL_STATIC_CURSOR_ATTRIBUTES1:
    case SQL_STATIC_CURSOR_ATTRIBUTES2:
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES1:
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES2:
    case SQL_KEYSET_CURSOR_ATTRIBUTES1:
    case SQL_KEYSET_CURSOR_ATTRIBUTES2:
      number = 0;
      break;
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1:
      number = SQL_CA1_NEXT;
      break;
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2:
      number = SQL_CA2_READ_ONLY_CONCURRENCY;
      break;
    default:
      dbc->diag.driver("HY096", "Information type out of range");
      return SQL_ERROR;
  }
  if (text || !owned.empty() || type == SQL_DATA_SOURCE_NAME || type == SQL_DATABASE_NAME || type == SQL_USER_NAME) {
    std::string_view s = text ? std::string_view(text) : std::string_view(owned);
    SQLRETURN rc = copyOut(s, static_cast<SQLCHAR*>(value), capacity, length);
    if (rc == SQL_SUCCESS_WITH_INFO) dbc->diag.driver("01004", "String data, right truncated");
    return rc;
  }
  if (isShort) {
    if (value) *static_cast<SQLUSMALLINT*>(value) = static_cast<SQLUSMALLINT>(number);
    if (length) *length = sizeof(SQLUSMALLINT);
  } else {
    if (value) *static_cast<SQLUINTEGER*>(value) = number;
    if (length) *length = sizeof(SQLUINTEGER);
  }
  return SQL_SUCCESS;
}
