// The booking insert of Database.

#include "booking/booking_date.h"
#include "db/database.h"
#include "db/statements.h"

namespace {
/// Capacity of the identifier (32 characters) with every character doubled.
constexpr size_t kIdentifierEscapedCapacity = 2 * (kIdentifierCapacity - 1) + 1;
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

  StatementGuard stmt(connection());
  if (stmt.allocation == SQL_ERROR) return -1;
  if (formatStatement(statement_, kStatementLimit, kBookingInsertStatement, pnr, day, time, fcd, kst) != 0) return -1;
  if (execute(stmt) == SQL_ERROR) {
    readDiagnostic(SQL_HANDLE_STMT, stmt.handle, diag);
    return -1;
  }
  return 0;
}
