#pragma once
// What the run needs of its database, as one interface: the connection, the
// three master-data lookups, the booking insert and the run-log row, each
// asked for many bookings at once, so that a network's round trip is paid per
// request rather than per statement. Every outcome comes back by position,
// with the diagnostic of its own statement, so the run prints what it would
// print had it asked one by one. Database implements it over ODBC; the run's
// unit tests give it a fake.
//
// A statement that fails because the link to the server is gone is run again
// on a new connection made with the same settings; link() tells the run how
// often that happened and whether the link is lost for good, after which
// every call fails at once with -1.

#include <cstddef>
#include <span>
#include <vector>

#include "booking/booking_record.h"
#include "db/diagnostic.h"
#include "db/runlog_record.h"

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
  /// True once the operator's stop ended a wait of the requests (before
  /// restoring a link, after a deadlock); every later call fails at once, as
  /// after a lost link.
  bool cancelled = false;
  /// True once the server gave a result that did not fit its statement;
  /// every call fails at once from then on, as after a lost link.
  bool misfit = false;
  /// Requests the server chose as a deadlock victim and that were sent
  /// again, so far.
  int deadlocks = 0;
  /// After an insertBookings that returned fewer than it was given: how many
  /// records after those with an outcome may have been stored all the same
  /// (their commit may have completed while its answer was lost); 0 when
  /// none of them was.
  size_t unknownAfter = 0;
};

/// What the lookups of one booking gave. Each result is 0 for a row whose
/// values fit, -1 when the statement could not be built, run or read (its
/// Diagnostic recorded when it failed on the server), or SQL_NO_DATA (100).
struct Resolution {
  int badge;
  Diagnostic badgeDiag;
  /// The badge's tenant keys, when it was found.
  char licence[kLicenceCapacity];
  char tenant[kTenantCapacity];
  /// The schema lookup; asked only for a badge that was found, and never
  /// unless licence and tenant are plain numbers (-1 without a diagnostic).
  int schema;
  Diagnostic schemaDiag;
  /// The cost-centre lookup; asked only for a badge that was found.
  int costCentre;
  Diagnostic costCentreDiag;
};

/// What one statement of a batch did.
struct StatementOutcome {
  /// 0, -1, or for a run-log row the native error of its failed INSERT.
  int result;
  /// Its failure on the server (or the failed statement allocation), when
  /// there was one.
  Diagnostic diag;
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

  /// How many bookings one call should be given, so that the run can stop
  /// between requests: one when the driver takes one statement at a time.
  /// Returns that number.
  virtual size_t batchSize() const = 0;

  /// Looks up, for each record, its badge (personnel number valid on the
  /// booking day, licence and tenant), then the tenant's schema and the
  /// workstation's cost centre, filling personnelNumber, schema and
  /// costCentre of the record and its Resolution (the same index). Returns
  /// how many records from the first on are resolved: all, or fewer when the
  /// link was lost for good or an answer did not fit (see link()).
  virtual size_t resolveBookings(std::span<BookingRecord> records, std::span<Resolution> resolutions) = 0;

  /// Inserts each record as one KVS321BCH row with the identifier, in order.
  /// An outcome's result is 0 (also when the INSERT, run again after a lost
  /// link, met the row its first run had stored) or -1: diag recorded when
  /// the INSERT or its statement allocation failed, not when it could not be
  /// built. Returns how many records from the first on have an outcome.
  virtual size_t insertBookings(std::span<const BookingRecord> records, const char* identifier,
                                std::span<StatementOutcome> outcomes) = 0;

  /// Looks up the text of each record's LogTErr into its LogTTxt and inserts
  /// it as one run-log row, in order. An outcome's result is 0, -1 when no
  /// statement handle could be had (diag recorded) or the row could not be
  /// built, otherwise the native error of the failed INSERT (diag recorded).
  /// Returns how many rows from the first on have an outcome.
  virtual size_t writeRunLogRows(std::span<RunLogRecord> records, std::span<StatementOutcome> outcomes) = 0;

  /// How the link fared so far. Returns its state.
  virtual LinkState link() const = 0;
};
