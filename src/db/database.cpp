#include "db/database.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

namespace {
SQLCHAR* sqlText(const char* text) {
  // ODBC's narrow API takes non-const text it never writes.
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text));
}

void pause(int milliseconds) {
  if (milliseconds <= 0) return;
#if defined(_WIN32)
  Sleep(static_cast<DWORD>(milliseconds));
#else
  timespec wait{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0) {
  }
#endif
}

/// Overwrites the text's bytes so the password leaves no copy behind.
void wipe(std::string& text) {
  volatile char* p = text.data();
  for (size_t i = 0; i < text.size(); ++i) p[i] = '\0';
  text.clear();
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
  wipe(password_);
  if (connected_) SQLDisconnect(connection());
  // The connection handle goes before the environment it was made in.
  connection_.reset();
  environment_.reset();
}

int Database::connect(const char* login, const char* password, const char* dataSource, Diagnostic& diag,
                      std::vector<Diagnostic>& further) {
  try {
    login_ = login;
    wipe(password_);
    password_ = password;
    dataSource_ = dataSource;
  } catch (...) {
    return -1;
  }
  // A second connect starts afresh: the connection goes before the
  // environment it was made in.
  if (connected_) SQLDisconnect(connection());
  connected_ = false;
  connection_.reset();
  if (environment_.allocate(SQL_NULL_HANDLE) == SQL_ERROR) return -1;
  SQLSetEnvAttr(environment_.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), SQL_IS_INTEGER);
  return openConnection(diag, further);
}

int Database::openConnection(Diagnostic& diag, std::vector<Diagnostic>& further) {
  if (connected_) SQLDisconnect(connection());
  connected_ = false;
  if (connection_.allocate(environment_.get()) == SQL_ERROR) return -1;
  // The texts go to SQLConnect whole: a password of more than 23 characters
  // must reach the server as it was configured, not cut.
  SQLRETURN rc = SQLConnect(connection(), sqlText(dataSource_.c_str()), SQL_NTS, sqlText(login_.c_str()), SQL_NTS,
                            sqlText(password_.c_str()), SQL_NTS);
  if (rc == SQL_ERROR) {
    readDiagnostics(SQL_HANDLE_DBC, connection(), diag, further);
    return -1;
  }
  connected_ = true;
  return 0;
}

int Database::restore() {
  for (int wait : restoreWaits_) {
    pause(wait);
    Diagnostic refused;
    std::vector<Diagnostic> further;
    if (openConnection(refused, further) == 0) {
      ++restored_;
      return 0;
    }
  }
  return -1;
}

void Database::noteFailure(const Diagnostic& failure) {
  SQLUINTEGER dead = SQL_CD_FALSE;
  // A driver that does not know the attribute leaves dead as it was.
  SQLGetConnectAttr(connection(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
  if (dead == SQL_CD_TRUE || diagnosesLostLink(failure)) linkBroke_ = true;
}

int Database::allocationFailed(Diagnostic& diag) {
  if (connection() == SQL_NULL_HANDLE) return -1;  // never connected: nothing to read
  readDiagnostic(SQL_HANDLE_DBC, connection(), diag);
  noteFailure(diag);
  return -1;
}

SQLRETURN Database::execute(const StatementGuard& stmt, Diagnostic& diag) {
  SQLRETURN rc = SQLExecDirect(stmt.handle, reinterpret_cast<SQLCHAR*>(statement_), SQL_NTS);
  if (rc == SQL_ERROR) {
    readDiagnostic(SQL_HANDLE_STMT, stmt.handle, diag);
    noteFailure(diag);
  }
  return rc;
}
