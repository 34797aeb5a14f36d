// The run-log row of Database: the error number's text looked up, then the
// row inserted.

#include "common/field.h"
#include "db/database.h"
#include "db/statements.h"
#include "runlog/runlog_insert_text.h"

int Database::lookUpErrorText(RunLogRecord& record) {
  StatementGuard stmt(connection());
  if (stmt.allocation == SQL_ERROR) return -1;
  if (formatStatement(statement_, kStatementCapacity, kErrorTextLookupStatement, static_cast<long>(record.LogTErr)) !=
      0)
    return 0;
  Diagnostic ignored;
  if (execute(stmt, ignored) == SQL_ERROR) return 0;
  char text[sizeof record.LogTTxt] = {};
  SQLLEN indicator = 0;
  SQLBindCol(stmt.handle, 1, SQL_C_CHAR, text, sizeof text, &indicator);
  SQLRETURN rc = SQLFetch(stmt.handle);
  // A text cut to the field (SQL_SUCCESS_WITH_INFO) counts as found; a NULL
  // leaves the zeroed buffer, so the text stays empty.
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) copyField(record.LogTTxt, fieldView(text));
  return 0;
}

int Database::writeRunLogRow(RunLogRecord& record, Diagnostic& diag) {
  return withRestore([&](int) {
    if (record.LogTErr != 0 && lookUpErrorText(record) != 0) return allocationFailed(diag);
    if (linkBroke_) return -1;
    StatementGuard stmt(connection());
    if (stmt.allocation == SQL_ERROR) return allocationFailed(diag);
    if (formatRunLogInsert(record, statement_, sizeof statement_) != 0) return -1;
    // A driver's own failure carries native error 0, which is no success.
    if (execute(stmt, diag) == SQL_ERROR) return diag.nativeError != 0 ? static_cast<int>(diag.nativeError) : -1;
    return 0;
  });
}
