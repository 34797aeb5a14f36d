#pragma once
// The run's database over ODBC: the environment and connection handles, the
// statement buffer every statement is formatted into, and the cache of lookup
// answers. The run owns one; everything it holds goes with it.

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

/// BookingStore over an ODBC connection.
class Database final : public BookingStore {
 public:
  Database() = default;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  /// Disconnects when connected; the handles free themselves afterwards.
  ~Database() override;

  int connect(const char* login, const char* password, const char* dataSource, Diagnostic& diag) override;
  int lookUpBadge(BookingRecord& record, char (&licence)[kLicenceCapacity], char (&tenant)[kTenantCapacity]) override;
  int lookUpSchema(const char* licence, const char* tenant, char (&schema)[sizeof BookingRecord::schema]) override;
  int lookUpCostCentre(const char* workstation, char (&costCentre)[sizeof BookingRecord::costCentre]) override;
  int insertBooking(const BookingRecord& record, const char* identifier, Diagnostic& diag) override;
  int writeRunLogRow(RunLogRecord& record, Diagnostic& diag) override;

  /// The lookup answers kept so far.
  const LookupCache& lookupCache() const { return cache_; }

 private:
  SQLHDBC connection() const { return static_cast<SQLHDBC>(connection_.get()); }
  /// Executes the statement buffer on stmt. Returns SQLExecDirect's result.
  SQLRETURN execute(const StatementGuard& stmt);
  /// Executes the query in the statement buffer, binds its first count
  /// columns and fetches the first row. Returns 0 (a row), -1, or SQLFetch's code.
  int queryFirstRow(const StatementGuard& stmt, BoundColumn* columns, int count);
  /// Keeps the answer to the statement in the buffer (values for a row,
  /// nothing for no row). Returns result unchanged.
  int keepAnswer(int result, const char* value0 = "", const char* value1 = "", const char* value2 = "");
  /// Answers the one-column query in the statement buffer, from memory when
  /// it was asked before, into out (capacity cap), which a failure leaves
  /// alone. Returns 0, -1, or SQLFetch's code (SQL_NO_DATA also for a value
  /// too long).
  int lookUpOneValue(char* out, size_t cap);
  /// Reads the text of record.LogTErr into record.LogTTxt. Returns 0, or -1
  /// when no statement handle could be had; any other failure leaves it empty.
  int lookUpErrorText(RunLogRecord& record);

  OdbcHandle environment_{SQL_HANDLE_ENV};
  OdbcHandle connection_{SQL_HANDLE_DBC};
  bool connected_ = false;
  char statement_[kStatementCapacity] = {};
  LookupCache cache_;
};
