#pragma once
// The run's database over ODBC: the environment and connection handles, the
// request every statement is formatted into, and the cache of lookup
// answers. The run owns one; everything it holds goes with it. A link that
// is lost is restored with the settings of the first connection, after short
// waits, and the statement that met the loss runs again.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/stop_flag.h"
#include "db/batch.h"
#include "db/booking_store.h"
#include "db/fetch_column.h"
#include "db/lookup_cache.h"
#include "db/odbc.h"
#include "db/request.h"
#include "db/statement.h"

/// Statements in one request: a few hundred, so a request stays within some
/// hundred KB, a 20 ms link's worth of bytes at 100 Mbit/s.
inline constexpr size_t kBatchStatements = 500;

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

/// Whether a driver takes many statements in one request and gives one
/// result each, from what SQLGetInfo said: SQL_MULT_RESULT_SETS,
/// SQL_BATCH_SUPPORT, SQL_BATCH_ROW_COUNT and SQL_DBMS_NAME (nullptr for a
/// text the driver did not give). Returns true or false.
bool takesBatches(const char* multipleResults, SQLUINTEGER batchSupport, SQLUINTEGER batchRowCount,
                  const char* dbmsName);
/// Whether a DBMS name is SQL Server's, whose rules of errors in a batch and
/// session options the program relies on. Returns true or false.
bool isSqlServer(const char* dbmsName);

/// How long a deadlock victim waits before its request goes again, per
/// attempt running: long enough for the other session to finish.
inline constexpr int kDeadlockWaitMilliseconds = 200;

/// BookingStore over an ODBC connection.
class Database final : public BookingStore, private ResultSource {
 public:
  /// A database that sends at most batchStatements statements in a request
  /// (the benchmark measures other sizes than the program's).
  explicit Database(size_t batchStatements = kBatchStatements);
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  /// Disconnects when connected; the handles free themselves afterwards.
  ~Database() override;

  int connect(const char* login, const char* password, const char* dataSource, Diagnostic& diag,
              std::vector<Diagnostic>& further) override;
  size_t batchSize() const override { return batches_ ? batchStatements_ : 1; }
  size_t resolveBookings(std::span<BookingRecord> records, std::span<Resolution> resolutions) override;
  size_t insertBookings(std::span<const BookingRecord> records, const char* identifier,
                        std::span<StatementOutcome> outcomes) override;
  size_t writeRunLogRows(std::span<RunLogRecord> records, std::span<StatementOutcome> outcomes) override;
  LinkState link() const override { return LinkState{restored_, lost_, cancelled_, misfit_, deadlocks_, unknownAfter_}; }

  /// Sets the flag of the operator's stop requests: a stop ends the waits
  /// before restoring a lost link. nullptr: none.
  void setStopFlag(const StopFlag* stop) { stop_ = stop; }
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
  /// Whether the connection takes several statements in one request.
  bool batches() const { return batches_; }

 private:
  SQLHDBC connection() const { return static_cast<SQLHDBC>(connection_.get()); }
  /// Opens a connection with the kept settings, the login limited to
  /// loginSeconds. Returns 0, or -1 with diag and further recorded when the
  /// driver refused it.
  int openConnection(int loginSeconds, Diagnostic& diag, std::vector<Diagnostic>& further);
  /// Waits milliseconds unless the operator asks to stop. Returns 0, or -1
  /// when a stop request ended the wait.
  int pauseUnlessStopped(int milliseconds) const;
  /// Reads what the driver says of batches and of the server behind it into
  /// batches_ and sqlServer_.
  void learnDriver();
  /// Sets the session options the requests rely on, when the server is SQL
  /// Server. Returns 0, or -1 with diag recorded when they were refused.
  int setSessionOptions(Diagnostic& diag);
  /// Runs text, statements that give no result of their own (session
  /// options, a rollback), reading it to its end. Returns 0, or -1 with diag
  /// recorded when one of them failed.
  int runWithoutResults(std::string_view text, Diagnostic& diag);
  /// Connects again after the waits. Returns 0, or -1 (the link is lost).
  int restore() override;
  int rollBack() override;
  int deadlocked(int attempt) override;
  /// Whether the failed call's record or the driver says the link is gone.
  bool linkGone(const Diagnostic& failure);

  // The results of the request in flight, over the statement handle.
  void send(std::string_view text, int columns, StatementResult& result) override;
  void next(int columns, StatementResult& result) override;
  void close() override;
  /// Reads the result the handle stands at after rc into result.
  void describe(SQLRETURN rc, int columns, StatementResult& result);
  /// Records a failure of the handle (or of the connection when there is no
  /// handle) into result.
  void failed(StatementResult& result);

  /// Runs the request built so far, when there is one, giving each result to
  /// deliver, then empties it. Returns 0, or -1 once the link is lost for
  /// good or an answer did not fit (noted for link()).
  int flush(const DeliverResult& deliver);
  /// As flush, for a request of INSERTs only (bookings, or run-log rows):
  /// committed once when requests go in batches.
  int flushInserts(const DeliverResult& deliver);
  /// Notes how a request ended for link(). Returns 0 when it was done, else -1.
  int noteEnd(RequestEnd end);
  /// Asks the lookups of stage (0: badges, 1: schemas and cost centres).
  /// Returns 0, or -1 as flush.
  int lookUpStage(int stage, std::span<BookingRecord> records, std::span<Resolution> resolutions,
                  std::vector<unsigned char>& done);
  /// Makes sure the text of every error number among records is known.
  /// Returns 0, or -1 as flush.
  int lookUpErrorTexts(std::span<RunLogRecord> records);

  OdbcHandle environment_{SQL_HANDLE_ENV};
  OdbcHandle connection_{SQL_HANDLE_DBC};
  /// The statement of the request in flight.
  OdbcHandle statement_{SQL_HANDLE_STMT};
  bool connected_ = false;
  bool batches_ = false;
  /// The server is SQL Server (its session options are set, its rules of
  /// errors in a batch apply).
  bool sqlServer_ = false;
  /// The most statements a request holds when batches are on.
  size_t batchStatements_;
  /// The settings of the first connection, for restoring it.
  std::string login_, password_, dataSource_;
  /// Waits before each attempt to restore a lost link: 15 seconds in all.
  std::vector<int> restoreWaits_{0, 1000, 2000, 4000, 8000};
  int restored_ = 0;
  bool lost_ = false;
  bool misfit_ = false;
  Request request_;
  Request resend_;
  /// An attempt of a request of INSERTs, in its transaction.
  Request wire_;
  int deadlocks_ = 0;
  size_t unknownAfter_ = 0;
  /// The INSERTs of the request that met a lost link for good which may
  /// have been stored (their items).
  std::vector<size_t> mayBeStored_;
  /// Set once the operator's stop ended a wait of the run's requests (before
  /// restoring a link, after a deadlock): the run stops, and every later call
  /// fails at once.
  bool cancelled_ = false;
  const StopFlag* stop_ = nullptr;
  Timeouts timeouts_;
  LookupCache cache_;
  /// Texts of the error numbers looked up so far; asked once a run.
  std::map<int32_t, std::string> errorTexts_;
};
