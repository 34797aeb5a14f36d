#pragma once
// The run's database over ODBC: the environment and connection handles, the
// statement buffer every statement is formatted into, and the cache of lookup
// answers. The run owns one; everything it holds goes with it. A link that
// is lost is restored with the settings of the first connection, after short
// waits, and the statement that met the loss runs again.

#include <csignal>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "db/booking_store.h"
#include "db/fetch_column.h"
#include "db/lookup_cache.h"
#include "db/odbc.h"
#include "db/statement.h"

/// An ODBC handle of one type, freed when it goes.
class OdbcHandle {
 public:
  explicit OdbcHandle(SQLSMALLINT type) : type_(type) {}
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;
  ~OdbcHandle() { reset(); }

  /// Allocates the handle under parent (SQL_NULL_HANDLE for an environment),
  /// freeing any it held. Returns SQLAllocHandle's result.
  SQLRETURN allocate(SQLHANDLE parent);
  /// Frees the handle, if there is one.
  void reset();
  /// The handle, or SQL_NULL_HANDLE.
  SQLHANDLE get() const { return handle_; }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

/// The login time limit: what an operator waits at most for a server that
/// accepts the connection and never answers, before the run gives up.
inline constexpr int kLoginTimeoutSeconds = 30;
/// The time limit of each request to the server: long enough for a server
/// under load, short enough that a link that stopped answering is noticed.
inline constexpr int kRequestTimeoutSeconds = 120;
/// The longest login of one attempt to restore a lost link, so that five
/// attempts fit their 15 seconds also against a server that never answers.
inline constexpr int kRestoreLoginTimeoutSeconds = 5;

/// The time limits the connection gives its driver, in seconds.
struct Timeouts {
  int loginSeconds = kLoginTimeoutSeconds;
  int requestSeconds = kRequestTimeoutSeconds;
};

/// BookingStore over an ODBC connection.
class Database final : public BookingStore {
 public:
  Database() = default;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  /// Disconnects when connected; the handles free themselves afterwards.
  ~Database() override;

  int connect(const char* login, const char* password, const char* dataSource, Diagnostic& diag,
              std::vector<Diagnostic>& further) override;
  int lookUpBadge(BookingRecord& record, char (&licence)[kLicenceCapacity], char (&tenant)[kTenantCapacity],
                  Diagnostic& diag) override;
  int lookUpSchema(const char* licence, const char* tenant, char (&schema)[sizeof BookingRecord::schema],
                   Diagnostic& diag) override;
  int lookUpCostCentre(const char* workstation, char (&costCentre)[sizeof BookingRecord::costCentre],
                       Diagnostic& diag) override;
  int insertBooking(const BookingRecord& record, const char* identifier, Diagnostic& diag) override;
  int writeRunLogRow(RunLogRecord& record, Diagnostic& diag) override;
  LinkState link() const override { return LinkState{restored_, lost_, cancelled_}; }

  /// Cancels the request in flight (SQLCancel), if there is one; meant for
  /// the thread that waits for the operator's signals while the run waits
  /// for the server. Returns SQLCancel's result, or SQL_SUCCESS when no
  /// request is in flight.
  SQLRETURN cancelInFlight();
  /// Sets the flag of the operator's stop requests: a stop ends the waits
  /// before restoring a lost link. nullptr: none.
  void setStopFlag(const volatile std::sig_atomic_t* stop) { stop_ = stop; }
  /// Sets the time limits given to the driver from the next connection and
  /// request on.
  void setTimeouts(Timeouts timeouts) { timeouts_ = timeouts; }
  /// The time limits in force. Returns them.
  Timeouts timeouts() const { return timeouts_; }

  /// Sets the waits, in milliseconds, before each attempt to restore a lost
  /// link; their count is the number of attempts.
  void setRestoreWaits(std::vector<int> milliseconds) { restoreWaits_ = std::move(milliseconds); }

  /// The lookup answers kept so far.
  const LookupCache& lookupCache() const { return cache_; }

 private:
  SQLHDBC connection() const { return static_cast<SQLHDBC>(connection_.get()); }
  /// Opens a connection with the kept settings, the login limited to
  /// loginSeconds. Returns 0, or -1 with diag and further recorded when the
  /// driver refused it.
  int openConnection(int loginSeconds, Diagnostic& diag, std::vector<Diagnostic>& further);
  /// Waits milliseconds unless the operator asks to stop. Returns 0, or -1
  /// when a stop request ended the wait.
  int pauseUnlessStopped(int milliseconds) const;
  /// Runs step(attempt) and, while it met a lost link, restores the link and
  /// runs it again. Returns step's result, or -1 once the link is lost.
  template <class Step>
  int withRestore(Step step);
  /// Connects again after the waits. Returns 0, or -1 (the link is lost).
  int restore();
  /// Notes a lost link when the failed call's record or the driver says so.
  void noteFailure(const Diagnostic& failure);
  /// Reads the connection's record about a failed statement allocation
  /// into diag. Returns -1.
  int allocationFailed(Diagnostic& diag);
  /// Executes the statement buffer on stmt; on failure diag gets its record.
  /// Returns SQLExecDirect's result.
  SQLRETURN execute(const StatementGuard& stmt, Diagnostic& diag);
  /// Executes the query in the statement buffer, binds its first count
  /// columns and fetches the first row. Returns 0 (a row), -1 (diag
  /// recorded), or SQLFetch's code.
  int queryFirstRow(const StatementGuard& stmt, BoundColumn* columns, int count, Diagnostic& diag);
  /// Keeps the answer to the statement in the buffer (values for a row,
  /// nothing for no row). Returns result unchanged.
  int keepAnswer(int result, const char* value0 = "", const char* value1 = "", const char* value2 = "");
  /// Answers the one-column query in the statement buffer, from memory when
  /// it was asked before, into out (capacity cap), which a failure leaves
  /// alone. Returns 0, -1, or SQLFetch's code (SQL_NO_DATA also for a value
  /// too long).
  int lookUpOneValue(char* out, size_t cap, Diagnostic& diag);
  /// Asks the badge statement in the buffer on the server. Returns as lookUpBadge.
  int askBadge(BookingRecord& record, char (&licence)[kLicenceCapacity], char (&tenant)[kTenantCapacity],
               Diagnostic& diag);
  /// Reads the text of record.LogTErr into record.LogTTxt. Returns 0, or -1
  /// when no statement handle could be had; any other failure leaves it empty.
  int lookUpErrorText(RunLogRecord& record);

  OdbcHandle environment_{SQL_HANDLE_ENV};
  OdbcHandle connection_{SQL_HANDLE_DBC};
  bool connected_ = false;
  /// The settings of the first connection, for restoring it.
  std::string login_, password_, dataSource_;
  /// Waits before each attempt to restore a lost link: 15 seconds in all.
  std::vector<int> restoreWaits_{0, 1000, 2000, 4000, 8000};
  /// Set by a failure that lost the link, for withRestore.
  bool linkBroke_ = false;
  int restored_ = 0;
  bool lost_ = false;
  /// Set once a request was cancelled at the operator's request: the run
  /// stops, and every later call fails at once.
  bool cancelled_ = false;
  const volatile std::sig_atomic_t* stop_ = nullptr;
  Timeouts timeouts_;
  /// The statement whose request is in flight, for cancelInFlight, and
  /// whether it was cancelled; guarded by inFlightMutex_.
  std::mutex inFlightMutex_;
  SQLHSTMT inFlight_ = SQL_NULL_HSTMT;
  bool inFlightCancelled_ = false;
  char statement_[kStatementCapacity] = {};
  LookupCache cache_;
};

/// How often one statement is run again after its link was restored: a
/// statement that loses every new link is not run forever.
inline constexpr int kRestoresPerStatement = 3;

template <class Step>
int Database::withRestore(Step step) {
  for (int attempt = 0;; ++attempt) {
    if (lost_ || cancelled_) return -1;
    linkBroke_ = false;
    int result = step(attempt);
    if (cancelled_) return -1;
    if (!linkBroke_) return result;
    if (attempt == kRestoresPerStatement || restore() != 0) {
      lost_ = true;
      return -1;
    }
  }
}
