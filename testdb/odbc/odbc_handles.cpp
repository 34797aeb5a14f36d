// Handles: allocation, release, attributes.

#include "odbc/odbc_handles.h"

#include <algorithm>
#include <cstring>

#include "odbc/driver_attributes.h"

namespace testdb {

SQLRETURN DiagArea::returnCode() const {
  if (records.empty()) return SQL_SUCCESS;
  for (const DiagRecord& r : records)
    if (r.state.compare(0, 2, "01") != 0) return SQL_ERROR;
  return SQL_SUCCESS_WITH_INFO;
}

void DiagArea::add(const ServerError& e) {
  DiagRecord r;
  r.state = e.state;
  r.native = e.native;
  r.message = std::string(kServerTag) + e.message;
  records.push_back(std::move(r));
}

void DiagArea::driver(std::string_view state, std::string_view message, SQLINTEGER native) {
  DiagRecord r;
  r.state = std::string(state);
  r.native = native;
  r.message = std::string(kDriverTag) + std::string(message);
  records.push_back(std::move(r));
}

Env* toEnv(SQLHANDLE h) {
  auto* e = static_cast<Env*>(h);
  return e && e->magic == kEnvMagic ? e : nullptr;
}

Dbc* toDbc(SQLHANDLE h) {
  auto* d = static_cast<Dbc*>(h);
  return d && d->magic == kDbcMagic ? d : nullptr;
}

Stmt* toStmt(SQLHANDLE h) {
  auto* s = static_cast<Stmt*>(h);
  return s && s->magic == kStmtMagic ? s : nullptr;
}

SQLRETURN copyOut(std::string_view text, SQLCHAR* buffer, SQLLEN capacity, SQLSMALLINT* length) {
  if (length) *length = static_cast<SQLSMALLINT>(text.size());
  if (!buffer || capacity <= 0) return text.empty() ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
  size_t n = std::min(text.size(), static_cast<size_t>(capacity - 1));
  memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return n < text.size() ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

std::string inputText(const SQLCHAR* text, SQLINTEGER length) {
  if (!text) return {};
  const char* p = reinterpret_cast<const char*>(text);
  if (length == SQL_NTS || length < 0) return std::string(p);
  return std::string(p, static_cast<size_t>(length));
}

void connectionBroken(DiagArea& diag) {
  diag.driver("08S01", "TCP Provider: An existing connection was forcibly closed by the remote host.", 10054);
  diag.driver("08S01", "Communication link failure", 10054);
}

SQLRETURN endTransaction(Dbc* dbc, bool commit) {
  ErrorList errors;
  if (dbc->session.endTransaction(commit, errors)) {
    dbc->diag.add(errors);
    return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

void loseConnection(Dbc* dbc, DiagArea& diag) {
  // What the server had not run of a batch dies with the link.
  for (Stmt* stmt : dbc->statements) stmt->nextStatement = stmt->batch.statements.size();
  for (Stmt* stmt : dbc->statements) closeCursor(stmt);
  ErrorList ignored;
  dbc->session.endTransaction(false, ignored);
  const std::string_view state = dbc->faults.breakState();
  if (state == "08S01") {
    connectionBroken(diag);
    return;
  }
  // A driver that reports the break outside the connection class: only
  // SQL_ATTR_CONNECTION_DEAD tells the link is gone.
  diag.driver(std::string(state), "General error: the connection was closed by the remote host.", 10054);
}

void disconnect(Dbc* dbc) {
  for (Stmt* stmt : dbc->statements) closeCursor(stmt);
  dbc->session.close();
  if (dbc->connected && dbc->commits) dbc->commits->writeTotal();
  dbc->connected = false;
}

void closeCursor(Stmt* stmt) {
  if (stmt->dbc && stmt->dbc->connected) {
    stmt->dbc->session.release(stmt->exec);
    if (stmt->nextStatement < stmt->batch.statements.size()) {
      DiagArea unread;
      std::swap(unread, stmt->diag);
      while (stmt->nextStatement < stmt->batch.statements.size() && nextResult(stmt, false) != SQL_NO_DATA) {
        stmt->dbc->session.release(stmt->exec);
      }
      std::swap(unread, stmt->diag);
    }
  }
  stmt->nextStatement = stmt->batch.statements.size();
  stmt->exec = Execution{};
  stmt->onRow = false;
}

namespace {

void freeStmt(Stmt* stmt) {
  closeCursor(stmt);
  auto& list = stmt->dbc->statements;
  list.erase(std::remove(list.begin(), list.end(), stmt), list.end());
  stmt->magic = 0;
  delete stmt;
}

SQLRETURN allocStmt(Dbc* dbc, SQLHANDLE* out) {
  dbc->diag.clear();
  if (!dbc->connected) {
    dbc->diag.driver("08003", "Connection does not exist");
    return SQL_ERROR;
  }
  if (dbc->faults.allocationFails()) {
    dbc->diag.driver("HY001", "Memory allocation error");
    return SQL_ERROR;
  }
  auto* stmt = new Stmt;
  stmt->dbc = dbc;
  dbc->statements.push_back(stmt);
  *out = stmt;
  return SQL_SUCCESS;
}

}  // namespace

}  // namespace testdb

using namespace testdb;

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  if (!output) return SQL_ERROR;
  switch (type) {
    case SQL_HANDLE_ENV:
      *output = new Env;
      return SQL_SUCCESS;
    case SQL_HANDLE_DBC: {
      Env* env = toEnv(input);
      if (!env) return SQL_INVALID_HANDLE;
      auto* dbc = new Dbc;
      dbc->env = env;
      *output = dbc;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_STMT: {
      Dbc* dbc = toDbc(input);
      if (!dbc) return SQL_INVALID_HANDLE;
      return allocStmt(dbc, output);
    }
    default:
      return SQL_ERROR;
  }
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  switch (type) {
    case SQL_HANDLE_ENV: {
      Env* env = toEnv(handle);
      if (!env) return SQL_INVALID_HANDLE;
      env->magic = 0;
      delete env;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_DBC: {
      Dbc* dbc = toDbc(handle);
      if (!dbc) return SQL_INVALID_HANDLE;
      while (!dbc->statements.empty()) freeStmt(dbc->statements.back());
      disconnect(dbc);
      dbc->magic = 0;
      delete dbc;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_STMT: {
      Stmt* stmt = toStmt(handle);
      if (!stmt) return SQL_INVALID_HANDLE;
      freeStmt(stmt);
      return SQL_SUCCESS;
    }
    default:
      return SQL_ERROR;
  }
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT handle, SQLUSMALLINT option) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  stmt->diag.clear();
  switch (option) {
    case SQL_CLOSE:
      closeCursor(stmt);
      return SQL_SUCCESS;
    case SQL_UNBIND:
      stmt->bindings.clear();
      return SQL_SUCCESS;
    case SQL_RESET_PARAMS:
      return SQL_SUCCESS;
    case SQL_DROP:
      freeStmt(stmt);
      return SQL_SUCCESS;
    default:
      stmt->diag.driver("HY092", "Invalid attribute/option identifier");
      return SQL_ERROR;
  }
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
  Env* env = toEnv(handle);
  if (!env) return SQL_INVALID_HANDLE;
  env->diag.clear();
  if (attribute == SQL_ATTR_ODBC_VERSION) {
    env->odbcVersion = static_cast<SQLINTEGER>(reinterpret_cast<intptr_t>(value));
  }
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                                SQLINTEGER* length) {
  Env* env = toEnv(handle);
  if (!env) return SQL_INVALID_HANDLE;
  env->diag.clear();
  SQLINTEGER v = 0;
  switch (attribute) {
    case SQL_ATTR_ODBC_VERSION:
      v = env->odbcVersion;
      break;
    case SQL_ATTR_OUTPUT_NTS:
      v = SQL_TRUE;
      break;
    default:
      break;
  }
  if (value) *static_cast<SQLINTEGER*>(value) = v;
  if (length) *length = sizeof v;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
  Dbc* dbc = toDbc(handle);
  if (!dbc) return SQL_INVALID_HANDLE;
  dbc->diag.clear();
  if (attribute == SQL_ATTR_LOGIN_TIMEOUT) dbc->loginTimeout = reinterpret_cast<uintptr_t>(value);
  if (attribute == SQL_ATTR_AUTOCOMMIT) {
    bool on = reinterpret_cast<uintptr_t>(value) == SQL_AUTOCOMMIT_ON;
    // Switching autocommit on commits what is open, as SQL Server does.
    if (on && dbc->connected && !dbc->session.autocommit() && endTransaction(dbc, true) == SQL_ERROR) return SQL_ERROR;
    dbc->session.setAutocommit(on);
  }
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER capacity,
                                    SQLINTEGER* length) {
  Dbc* dbc = toDbc(handle);
  if (!dbc) return SQL_INVALID_HANDLE;
  dbc->diag.clear();
  if (attribute == SQL_ATTR_CURRENT_CATALOG) {
    SQLSMALLINT n = 0;
    SQLRETURN rc = copyOut(dbc->settings.databaseName, static_cast<SQLCHAR*>(value), capacity, &n);
    if (length) *length = n;
    return rc;
  }
  SQLUINTEGER v = 0;
  switch (attribute) {
    case SQL_ATTR_AUTOCOMMIT:
      v = dbc->session.autocommit() ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
      break;
    case SQL_ATTR_CONNECTION_DEAD:
      v = dbc->faults.broken() || !dbc->connected ? SQL_CD_TRUE : SQL_CD_FALSE;
      break;
    case SQL_ATTR_TXN_ISOLATION:
      v = SQL_TXN_SERIALIZABLE;
      break;
    case SQL_ATTR_ACCESS_MODE:
      v = SQL_MODE_READ_WRITE;
      break;
    case kAttrDurableCommits:
      v = dbc->commits ? static_cast<SQLUINTEGER>(dbc->commits->total()) : 0;
      break;
    default:
      break;
  }
  if (value) *static_cast<SQLUINTEGER*>(value) = v;
  if (length) *length = sizeof v;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  stmt->diag.clear();
  if (attribute == SQL_ATTR_QUERY_TIMEOUT) stmt->queryTimeout = reinterpret_cast<uintptr_t>(value);
  if (attribute == SQL_ATTR_ROW_ARRAY_SIZE && reinterpret_cast<uintptr_t>(value) != 1) {
    stmt->diag.driver("01S02", "Option value changed");
    return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}
