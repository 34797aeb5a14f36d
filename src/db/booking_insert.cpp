#include "db/booking_insert.h"

#include "booking/booking_date.h"
#include "db/connection.h"
#include "db/statement.h"
#include "db/statements.h"

namespace {
/// Capacity of the identifier (32 characters) with every character doubled.
constexpr size_t kIdentifierEscapedCapacity = 2 * (kIdentifierCapacity - 1) + 1;
}  // namespace

int SQLInsertKvs321Bch(const BookingRecord& record, const char* identifier) {
  char day[kDayTextCapacity];
  char time[kDayTextCapacity];
  char pnr[2 * sizeof record.personnelNumber + 1];
  char kst[2 * sizeof record.costCentre + 1];
  char fcd[kIdentifierEscapedCapacity];
  if (bookingDayText(record, day, sizeof day) != 0 || bookingTimeText(record, time, sizeof time) != 0)
    return -1;
  if (escapeSql(record.personnelNumber, pnr) != 0 || escapeSql(record.costCentre, kst) != 0 ||
      escapeSql(identifier, fcd) != 0)
    return -1;

  StatementGuard stmt;
  if (stmt.allocation == SQL_ERROR) return -1;
  if (formatStatement(kStatementLimit, kBookingInsertStatement, pnr, day, time, fcd, kst) != 0)
    return -1;
  if (SQLExecDirect(stmt.handle, reinterpret_cast<SQLCHAR*>(statementBuffer), SQL_NTS) == SQL_ERROR) {
    dbGetDiag(SQL_HANDLE_STMT, stmt.handle);
    return -1;
  }
  return 0;
}
