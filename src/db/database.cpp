#include "db/database.h"

#include <chrono>
#include <cstring>

#include "common/stop_flag.h"

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
  return openConnection(timeouts_.loginSeconds, diag, further);
}

int Database::openConnection(int loginSeconds, Diagnostic& diag, std::vector<Diagnostic>& further) {
  if (connected_) SQLDisconnect(connection());
  connected_ = false;
  if (connection_.allocate(environment_.get()) == SQL_ERROR) return -1;
  // Without a limit a server that accepts the connection and never answers
  // the login holds the run for ever. A driver that ignores it changes nothing.
  SQLSetConnectAttr(connection(), SQL_ATTR_LOGIN_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginSeconds)), SQL_IS_UINTEGER);
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

int Database::pauseUnlessStopped(int milliseconds) const {
  // In slices, so that Ctrl-C during the waits stops the run within moments.
  constexpr int kSlice = 50;
  for (int left = milliseconds; left > 0; left -= kSlice) {
    if (stopAsked(stop_)) return -1;
    pause(left < kSlice ? left : kSlice);
  }
  return stopAsked(stop_) ? -1 : 0;
}

int Database::restore() {
  using Clock = std::chrono::steady_clock;
  // The attempts share the waits' sum and a second for the last login: a
  // server that accepts and never answers must not stretch it.
  long budget = 1000;
  for (int wait : restoreWaits_) budget += wait;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(budget);
  for (int wait : restoreWaits_) {
    if (Clock::now() + std::chrono::milliseconds(wait) >= deadline) return -1;
    if (pauseUnlessStopped(wait) != 0) {
      cancelled_ = true;
      return -1;
    }
    const long left =
        static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    if (left <= 0) return -1;
    int loginSeconds = static_cast<int>((left + 999) / 1000);
    if (loginSeconds > kRestoreLoginTimeoutSeconds) loginSeconds = kRestoreLoginTimeoutSeconds;
    if (loginSeconds > timeouts_.loginSeconds) loginSeconds = timeouts_.loginSeconds;
    Diagnostic refused;
    std::vector<Diagnostic> further;
    if (openConnection(loginSeconds, refused, further) == 0) {
      ++restored_;
      return 0;
    }
  }
  return -1;
}

SQLRETURN Database::cancelInFlight() {
  std::lock_guard<std::mutex> hold(inFlightMutex_);
  if (inFlight_ == SQL_NULL_HSTMT) return SQL_SUCCESS;
  inFlightCancelled_ = true;
  return SQLCancel(inFlight_);
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
  // A request that runs past its limit is cancelled by the driver (HYT00)
  // and handled like a lost link.
  SQLSetStmtAttr(stmt.handle, SQL_ATTR_QUERY_TIMEOUT,
                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeouts_.requestSeconds)), SQL_IS_UINTEGER);
  {
    std::lock_guard<std::mutex> hold(inFlightMutex_);
    inFlight_ = stmt.handle;
    inFlightCancelled_ = false;
  }
  SQLRETURN rc = SQLExecDirect(stmt.handle, reinterpret_cast<SQLCHAR*>(statement_), SQL_NTS);
  bool cancelled = false;
  {
    std::lock_guard<std::mutex> hold(inFlightMutex_);
    inFlight_ = SQL_NULL_HSTMT;
    cancelled = inFlightCancelled_;
  }
  if (rc == SQL_ERROR) {
    readDiagnostic(SQL_HANDLE_STMT, stmt.handle, diag);
    // Cancelled for the operator: not a failure of the booking, and not a
    // link to restore; the run stops.
    if (cancelled && stopAsked(stop_)) {
      cancelled_ = true;
      return rc;
    }
    noteFailure(diag);
  }
  return rc;
}
