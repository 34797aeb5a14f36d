#pragma once
// What the run needs of its database, as one interface: the connection, the
// three master-data lookups, the booking insert and the run-log row. Database
// implements it over ODBC; the run's unit tests give it a fake.
//
// The lookups return 0 when a row was found and its values fit, -1 when the
// statement could not be allocated, built or executed, and otherwise
// SQLFetch's code (SQL_NO_DATA, 100, for no row). The calls that diagnose a
// failure write it into the Diagnostic they are given and leave it alone
// otherwise, so the caller's record always holds the last failure that was
// diagnosed.
//
// A statement that fails because the link to the server is gone is run again
// on a new connection made with the same settings; link() tells the run how
// often that happened and whether the link is lost for good, after which
// every call fails at once with -1.

#include <vector>

#include "booking/booking_record.h"
#include "db/diagnostic.h"
#include "runlog/runlog_record.h"

/// Capacity of the licence number returned by the badge lookup.
inline constexpr int kLicenceCapacity = 8;
/// Capacity of the tenant number returned by the badge lookup.
inline constexpr int kTenantCapacity = 24;
/// Capacity of the cost-centre change identifier (32 characters).
inline constexpr int kIdentifierCapacity = 33;
/// Function code of a cost-centre change booking.
inline constexpr int kCostCentreChangeFunction = 25;

/// The state of the link to the server.
struct LinkState {
  /// Connections restored after a lost link, so far.
  int restored;
  /// True once the link was lost and could not be restored.
  bool lost;
  /// True once a request was cancelled because the operator asked the run
  /// to stop; every later call fails at once, as after a lost link.
  bool cancelled = false;
};

/// The run's database.
class BookingStore {
 public:
  virtual ~BookingStore() = default;

  /// Opens the connection; the texts go to the driver whole and are kept for
  /// a reconnection. Returns 0, or -1; diag is recorded when the driver
  /// refused the connection itself, and further gets its other records.
  virtual int connect(const char* login, const char* password, const char* dataSource, Diagnostic& diag,
                      std::vector<Diagnostic>& further) = 0;

  /// Badge lookup: the personnel number valid on the booking day and its
  /// tenant keys. Returns 0 and fills record.personnelNumber, licence and
  /// tenant, or a lookup failure (see above) leaving them alone; diag is
  /// recorded when a statement failed.
  virtual int lookUpBadge(BookingRecord& record, char (&licence)[kLicenceCapacity], char (&tenant)[kTenantCapacity],
                          Diagnostic& diag) = 0;

  /// Tenant schema lookup. Returns 0 and fills schema; -1 without a
  /// statement unless licence and tenant are plain numbers.
  virtual int lookUpSchema(const char* licence, const char* tenant, char (&schema)[sizeof BookingRecord::schema],
                           Diagnostic& diag) = 0;

  /// Cost-centre lookup of a normalised workstation. Returns 0 and fills
  /// costCentre.
  virtual int lookUpCostCentre(const char* workstation, char (&costCentre)[sizeof BookingRecord::costCentre],
                               Diagnostic& diag) = 0;

  /// Inserts the booking as one KVS321BCH row with the identifier. Returns 0
  /// (also when the INSERT, run again after a lost link, met the row its
  /// first run had stored), or -1: diag is recorded when the INSERT or its
  /// statement allocation failed, unchanged when it could not be built.
  virtual int insertBooking(const BookingRecord& record, const char* identifier, Diagnostic& diag) = 0;

  /// Looks up the text of record.LogTErr into record.LogTTxt and inserts
  /// record as one run-log row. Returns 0, -1 when no statement handle could
  /// be had (diag recorded) or the row could not be built, otherwise the
  /// native error of the failed INSERT (diag recorded).
  virtual int writeRunLogRow(RunLogRecord& record, Diagnostic& diag) = 0;

  /// How the link fared so far. Returns its state.
  virtual LinkState link() const = 0;
};
