#include "db/database.h"

#include <cstring>

namespace {
SQLCHAR* sqlText(const char* text) {
  // ODBC's narrow API takes non-const text it never writes.
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text));
}
}  // namespace

SQLRETURN OdbcHandle::allocate(SQLHANDLE parent) {
  reset();
  SQLRETURN rc = SQLAllocHandle(type_, parent, &handle_);
  if (rc == SQL_ERROR) handle_ = SQL_NULL_HANDLE;
  return rc;
}

void OdbcHandle::reset() {
  if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
  handle_ = SQL_NULL_HANDLE;
}

Database::~Database() {
  if (connected_) SQLDisconnect(connection());
  // The connection handle goes before the environment it was made in.
  connection_.reset();
  environment_.reset();
}

int Database::connect(const char* login, const char* password, const char* dataSource, Diagnostic& diag) {
  if (connected_) SQLDisconnect(connection());
  connected_ = false;
  connection_.reset();
  if (environment_.allocate(SQL_NULL_HANDLE) == SQL_ERROR) return -1;
  SQLSetEnvAttr(environment_.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), SQL_IS_INTEGER);
  if (connection_.allocate(environment_.get()) == SQL_ERROR) return -1;

  // The texts go to SQLConnect whole: a password of more than 23 characters
  // must reach the server as it was configured, not cut.
  SQLRETURN rc =
      SQLConnect(connection(), sqlText(dataSource), SQL_NTS, sqlText(login), SQL_NTS, sqlText(password), SQL_NTS);
  if (rc == SQL_ERROR) {
    readDiagnostic(SQL_HANDLE_DBC, connection(), diag);
    return -1;
  }
  connected_ = true;
  return 0;
}

SQLRETURN Database::execute(const StatementGuard& stmt) {
  return SQLExecDirect(stmt.handle, reinterpret_cast<SQLCHAR*>(statement_), SQL_NTS);
}
