#include "db/database.h"

#include <chrono>
#include <cstring>
#include <iterator>

#include "common/stop_flag.h"
#include "db/restore_schedule.h"
#include "db/statements.h"
#include "db/transaction.h"

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

Database::Database(size_t batchStatements)
    : batchStatements_(batchStatements),
      request_(batchStatements + 1),
      resend_(batchStatements + 1),
      wire_(batchStatements + 4, kRequestCapacity + kTransactionFrameCapacity) {}

Database::~Database() {
  wipe(password_);
  statement_.reset();
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
  if (openConnection(timeouts_.loginSeconds, diag, further) != 0) return -1;
  learnDriver();
  return setSessionOptions(diag);
}

bool takesBatches(const char* multipleResults, SQLUINTEGER batchSupport, SQLUINTEGER batchRowCount,
                  const char* dbmsName) {
  // One result per statement, row counts and selects within a batch each
  // their own: what the program reads the results by.
  if (multipleResults == nullptr || std::strcmp(multipleResults, "Y") != 0) return false;
  const SQLUINTEGER needed = SQL_BS_SELECT_EXPLICIT | SQL_BS_ROW_COUNT_EXPLICIT;
  if ((batchSupport & needed) != needed || (batchRowCount & SQL_BRC_EXPLICIT) == 0) return false;
  // Which statement errors end a batch and which only themselves is SQL
  // Server's rule; another server behind the driver gets one at a time.
  return isSqlServer(dbmsName);
}

bool isSqlServer(const char* dbmsName) {
  // "Microsoft SQL Server", as Microsoft's drivers and FreeTDS name it.
  return dbmsName != nullptr && std::strstr(dbmsName, "SQL Server") != nullptr;
}

void Database::learnDriver() {
  char results[8] = {};
  char name[64] = {};
  SQLSMALLINT length = 0;
  SQLUINTEGER support = 0;
  SQLUINTEGER counts = 0;
  const bool haveResults =
      SQL_SUCCEEDED(SQLGetInfo(connection(), SQL_MULT_RESULT_SETS, results, sizeof results, &length));
  if (!SQL_SUCCEEDED(SQLGetInfo(connection(), SQL_BATCH_SUPPORT, &support, sizeof support, nullptr))) support = 0;
  if (!SQL_SUCCEEDED(SQLGetInfo(connection(), SQL_BATCH_ROW_COUNT, &counts, sizeof counts, nullptr))) counts = 0;
  const bool haveName = SQL_SUCCEEDED(SQLGetInfo(connection(), SQL_DBMS_NAME, name, sizeof name - 1, &length));
  sqlServer_ = isSqlServer(haveName ? name : nullptr);
  batches_ = takesBatches(haveResults ? results : nullptr, support, counts, haveName ? name : nullptr);
}

int Database::setSessionOptions(Diagnostic& diag) {
  if (!sqlServer_) return 0;
  // One request where batches go, else one statement at a time.
  constexpr size_t kOptionsCapacity = 128;
  Request options(std::size(kSessionOptionStatements), kOptionsCapacity);
  for (size_t i = 0; i < std::size(kSessionOptionStatements); ++i) {
    options.add(StatementKind::Frame, 0, i, kStatementLimit, "%s", kSessionOptionStatements[i]);
    if (batches_ && i + 1 < std::size(kSessionOptionStatements)) continue;
    if (runWithoutResults(options.text(), diag) != 0) return -1;
    options.clear();
  }
  return 0;
}

int Database::runWithoutResults(std::string_view text, Diagnostic& diag) {
  StatementResult result;
  send(text, 0, result);
  while (result.kind != StatementResult::Kind::End && result.kind != StatementResult::Kind::Failed) next(0, result);
  close();
  if (result.kind != StatementResult::Kind::Failed) return 0;
  diag = result.diag;
  return -1;
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
  if (cancelled_) return -1;
  using Clock = RestoreSchedule::Clock;
  const int cap = timeouts_.loginSeconds < kRestoreLoginTimeoutSeconds ? timeouts_.loginSeconds
                                                                       : kRestoreLoginTimeoutSeconds;
  RestoreSchedule schedule(restoreWaits_, cap, Clock::now());
  for (int wait = schedule.nextWait(Clock::now()); wait >= 0; wait = schedule.nextWait(Clock::now())) {
    if (pauseUnlessStopped(wait) != 0) {
      cancelled_ = true;
      return -1;
    }
    const int loginSeconds = schedule.loginSeconds(Clock::now());
    if (loginSeconds == 0) return -1;
    Diagnostic refused;
    std::vector<Diagnostic> further;
    if (openConnection(loginSeconds, refused, further) == 0 && setSessionOptions(refused) == 0) {
      ++restored_;
      return 0;
    }
  }
  return -1;
}

int Database::rollBack() {
  Diagnostic failure;
  return runWithoutResults(kRollbackOpenTransactionStatement, failure);
}

int Database::deadlocked(int attempt) {
  ++deadlocks_;
  if (pauseUnlessStopped(kDeadlockWaitMilliseconds * attempt) == 0) return 0;
  cancelled_ = true;
  return -1;
}

bool Database::linkGone(const Diagnostic& failure) {
  if (connection() == SQL_NULL_HANDLE) return false;
  SQLUINTEGER dead = SQL_CD_FALSE;
  // A driver that does not know the attribute leaves dead as it was.
  SQLGetConnectAttr(connection(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
  return dead == SQL_CD_TRUE || diagnosesLostLink(failure);
}

void Database::failed(StatementResult& result) {
  result.kind = StatementResult::Kind::Failed;
  if (statement_.get() != SQL_NULL_HANDLE)
    readDiagnostic(SQL_HANDLE_STMT, statement_.get(), result.diag);
  else if (connection() != SQL_NULL_HANDLE)  // the allocation failed; never connected: nothing to read
    readDiagnostic(SQL_HANDLE_DBC, connection(), result.diag);
  result.linkLost = linkGone(result.diag);
}

void Database::describe(SQLRETURN rc, int columns, StatementResult& result) {
  if (rc == SQL_ERROR) {
    // Its records first: SQLNumResultCols and SQLRowCount clear them.
    failed(result);
    return;
  }
  SQLHSTMT stmt = static_cast<SQLHSTMT>(statement_.get());
  SQLSMALLINT count = 0;
  if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(SQLNumResultCols(stmt, &count))) {
    failed(result);
    return;
  }
  if (count == 0) {
    SQLLEN rows = 0;
    if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(SQLRowCount(stmt, &rows))) {
      failed(result);
      return;
    }
    result.kind = StatementResult::Kind::Count;
    result.count = rows;
    // A link that went in mid-answer leaves FreeTDS with a result that has
    // no count; it is the loss, not an answer.
    if (rows < 0) {
      Diagnostic said{};
      readDiagnostic(SQL_HANDLE_STMT, stmt, said);
      if (linkGone(said)) {
        result.kind = StatementResult::Kind::Failed;
        result.diag = said;
        result.linkLost = true;
      }
    }
    return;
  }
  result.kind = StatementResult::Kind::Rows;
  result.columnCount = count;
  const int bound = columns < count ? columns : count;
  for (int i = 0; i < bound && i < kMaxLookupColumns; ++i)
    bindColumn(stmt, static_cast<SQLUSMALLINT>(i + 1), result.columns[i]);
  SQLRETURN fetched = SQLFetch(stmt);
  if (fetched == SQL_ERROR) {
    failed(result);
    return;
  }
  result.row = SQL_SUCCEEDED(fetched);
  // The set is read to its end: a set left open is an extra result to
  // FreeTDS, and a cancel (a round trip) when the handle goes. The first row
  // stays in the columns.
  SQLFreeStmt(stmt, SQL_UNBIND);
  while (fetched != SQL_NO_DATA) {
    fetched = SQLFetch(stmt);
    if (fetched == SQL_ERROR) {
      failed(result);
      return;
    }
  }
}

void Database::send(std::string_view text, int columns, StatementResult& result) {
  result = StatementResult{};
  if (cancelled_) {
    // Stopped for the operator: nothing more is sent.
    result.kind = StatementResult::Kind::Failed;
    result.linkLost = true;
    return;
  }
  if (!SQL_SUCCEEDED(statement_.allocate(connection()))) {
    statement_.reset();
    failed(result);
    result.notSent = true;
    return;
  }
  SQLHSTMT stmt = static_cast<SQLHSTMT>(statement_.get());
  // A request that runs past its limit is cancelled by the driver (HYT00)
  // and handled like a lost link.
  SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT,
                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeouts_.requestSeconds)), SQL_IS_UINTEGER);
  SQLRETURN rc = SQLExecDirect(stmt, sqlText(text.data()), static_cast<SQLINTEGER>(text.size()));
  describe(rc, columns, result);
}

void Database::next(int columns, StatementResult& result) {
  result = StatementResult{};
  if (statement_.get() == SQL_NULL_HANDLE) return;  // End: nothing was sent
  SQLRETURN rc = SQLMoreResults(static_cast<SQLHSTMT>(statement_.get()));
  if (rc == SQL_NO_DATA) return;
  describe(rc, columns, result);
}

void Database::close() { statement_.reset(); }

int Database::flush(const DeliverResult& deliver) {
  if (request_.empty()) return 0;
  RequestEnd end = RequestEnd::LinkLost;
  if (!lost_ && !misfit_ && !cancelled_) end = runRequest(*this, request_, resend_, deliver);
  request_.clear();
  resend_.clear();
  return noteEnd(end);
}

int Database::flushInserts(const DeliverResult& deliver) {
  if (request_.empty()) return 0;
  if (!batches_) {
    // One INSERT a request: when its link went for good it may have run.
    mayBeStored_.clear();
    const bool sent = !lost_ && !misfit_ && !cancelled_;
    if (sent) mayBeStored_.push_back(request_.statements()[0].item);
    const int rc = flush(deliver);
    if (rc == 0) mayBeStored_.clear();
    return rc;
  }
  RequestEnd end = RequestEnd::LinkLost;
  mayBeStored_.clear();
  if (!lost_ && !misfit_ && !cancelled_) end = runTransaction(*this, request_, wire_, deliver, &mayBeStored_);
  request_.clear();
  wire_.clear();
  return noteEnd(end);
}

int Database::noteEnd(RequestEnd end) {
  if (end == RequestEnd::LinkLost && !cancelled_) lost_ = true;
  if (end == RequestEnd::Misfit) misfit_ = true;
  return end == RequestEnd::Done ? 0 : -1;
}
