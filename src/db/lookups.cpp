// The master-data lookups of Database, each answered from the lookup cache
// when the same statement was answered before.

#include <cstring>

#include "booking/booking_date.h"
#include "common/field.h"
#include "db/database.h"
#include "db/statements.h"

namespace {
/// Capacity of a booking text with every character an apostrophe, doubled.
constexpr size_t kEscapedCapacity = 2 * sizeof BookingRecord::costCentre + 1;
}  // namespace

int Database::queryFirstRow(const StatementGuard& stmt, BoundColumn* columns, int count, Diagnostic& diag) {
  if (execute(stmt, diag) == SQL_ERROR) return -1;
  for (int i = 0; i < count; ++i) bindColumn(stmt.handle, static_cast<SQLUSMALLINT>(i + 1), columns[i]);
  SQLRETURN rc = SQLFetch(stmt.handle);
  if (rc == SQL_ERROR) {
    readDiagnostic(SQL_HANDLE_STMT, stmt.handle, diag);
    noteFailure(diag);
    return -1;
  }
  return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO ? 0 : rc;
}

int Database::keepAnswer(int result, const char* value0, const char* value1, const char* value2) {
  LookupAnswer answer{};
  answer.result = result;
  if (result == 0) {
    copyField(answer.values[0], value0);
    copyField(answer.values[1], value1);
    copyField(answer.values[2], value2);
  }
  cache_.remember(statement_, answer);  // a failure is not kept
  return result;
}

int Database::lookUpOneValue(char* out, size_t cap, Diagnostic& diag) {
  if (const LookupAnswer* known = cache_.find(statement_)) {
    if (known->result == 0) copyText(out, cap, known->values[0]);
    return known->result;
  }
  return withRestore([&](int) {
    StatementGuard stmt(connection());
    if (stmt.allocation == SQL_ERROR) return allocationFailed(diag);
    BoundColumn column;
    if (int rc = queryFirstRow(stmt, &column, 1, diag); rc != 0) return keepAnswer(rc);
    return takeColumn(column, out, cap) == 0 ? keepAnswer(0, out) : keepAnswer(SQL_NO_DATA);
  });
}

int Database::lookUpBadge(BookingRecord& record, char (&licence)[kLicenceCapacity], char (&tenant)[kTenantCapacity],
                          Diagnostic& diag) {
  char day[kDayTextCapacity];
  char badge[kEscapedCapacity];
  if (bookingDayText(record, day, sizeof day) != 0 || escapeSql(record.badge, badge) != 0) return -1;
  if (formatStatement(statement_, kStatementLimit, kBadgeLookupStatement, badge, day, day) != 0) return -1;
  if (const LookupAnswer* known = cache_.find(statement_)) {
    if (known->result == 0) {
      copyField(record.personnelNumber, known->values[0]);
      copyField(licence, known->values[1]);
      copyField(tenant, known->values[2]);
    }
    return known->result;
  }
  return withRestore([&](int) { return askBadge(record, licence, tenant, diag); });
}

int Database::askBadge(BookingRecord& record, char (&licence)[kLicenceCapacity], char (&tenant)[kTenantCapacity],
                       Diagnostic& diag) {
  StatementGuard stmt(connection());
  if (stmt.allocation == SQL_ERROR) return allocationFailed(diag);
  BoundColumn columns[3];
  if (int rc = queryFirstRow(stmt, columns, 3, diag); rc != 0) return keepAnswer(rc);
  // A value that does not fit its field is never cut: the badge counts as
  // not found, and the run reports it as such.
  char pnrText[sizeof record.personnelNumber];
  char lizText[kLicenceCapacity];
  char mndText[kTenantCapacity];
  if (takeColumn(columns[0], pnrText) != 0 || takeColumn(columns[1], lizText) != 0 ||
      takeColumn(columns[2], mndText) != 0)
    return keepAnswer(SQL_NO_DATA);
  std::memcpy(record.personnelNumber, pnrText, sizeof pnrText);
  std::memcpy(licence, lizText, sizeof lizText);
  std::memcpy(tenant, mndText, sizeof mndText);
  return keepAnswer(0, pnrText, lizText, mndText);
}

int Database::lookUpSchema(const char* licence, const char* tenant, char (&schema)[sizeof BookingRecord::schema],
                           Diagnostic& diag) {
  // They stand unquoted in the statement: anything but a number could change it.
  if (!isPlainNumber(licence) || !isPlainNumber(tenant)) return -1;
  if (formatStatement(statement_, kStatementLimit, kSchemaLookupStatement, licence, tenant) != 0) return -1;
  return lookUpOneValue(schema, sizeof schema, diag);
}

int Database::lookUpCostCentre(const char* workstation, char (&costCentre)[sizeof BookingRecord::costCentre],
                               Diagnostic& diag) {
  char escaped[kEscapedCapacity];
  if (escapeSql(workstation, escaped) != 0) return -1;
  if (formatStatement(statement_, kStatementLimit, kCostCentreLookupStatement, escaped) != 0) return -1;
  return lookUpOneValue(costCentre, sizeof costCentre, diag);
}
