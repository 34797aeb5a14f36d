// The booking insert of Database.

#include "booking/booking_date.h"
#include "db/database.h"
#include "db/statements.h"

namespace {
/// Capacity of the identifier (32 characters) with every character doubled.
constexpr size_t kIdentifierEscapedCapacity = 2 * (kIdentifierCapacity - 1) + 1;
/// SQL Server's error for a row whose primary key is already stored.
constexpr int32_t kDuplicateKey = 2627;
}  // namespace

int Database::insertBooking(const BookingRecord& record, const char* identifier, Diagnostic& diag) {
  char day[kDayTextCapacity];
  char time[kDayTextCapacity];
  char pnr[2 * sizeof record.personnelNumber + 1];
  char kst[2 * sizeof record.costCentre + 1];
  char fcd[kIdentifierEscapedCapacity];
  if (bookingDayText(record, day, sizeof day) != 0 || bookingTimeText(record, time, sizeof time) != 0) return -1;
  if (escapeSql(record.personnelNumber, pnr) != 0 || escapeSql(record.costCentre, kst) != 0 ||
      escapeSql(identifier, fcd) != 0)
    return -1;

  return withRestore([&](int attempt) {
    Diagnostic failure;
    StatementGuard stmt(connection());
    if (stmt.allocation == SQL_ERROR) {
      allocationFailed(diag);
      return -1;
    }
    if (formatStatement(statement_, kStatementLimit, kBookingInsertStatement, pnr, day, time, fcd, kst) != 0) return -1;
    if (execute(stmt, failure) != SQL_ERROR) return 0;
    // Run again after a lost link, the INSERT may meet the row its first run
    // stored before the answer was lost: the booking is stored.
    if (attempt > 0 && failure.nativeError == kDuplicateKey) return 0;
    diag = failure;
    return -1;
  });
}
