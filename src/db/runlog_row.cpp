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
  if (execute(stmt) == SQL_ERROR) return 0;
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
  if (record.LogTErr != 0 && lookUpErrorText(record) != 0) return -1;

  StatementGuard stmt(connection());
  if (stmt.allocation == SQL_ERROR) return -1;
  if (formatRunLogInsert(record, statement_, sizeof statement_) != 0) return -1;
  if (execute(stmt) == SQL_ERROR) {
    readDiagnostic(SQL_HANDLE_STMT, stmt.handle, diag);
    return diag.nativeError;
  }
  return 0;
}
