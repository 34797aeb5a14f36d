#include "runlog/runlog.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>

#include "common/date_number.h"
#include "common/field.h"
#include "common/trace.h"
#include "db/connection.h"
#include "db/statement.h"
#include "db/statements.h"
#include "runlog/runlog_insert_text.h"

RunLogRecord runLogRecord;

namespace {
void localTimeStamp(char (&stamp)[sizeof RunLogRecord::LogStz]) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  if (std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local) == 0) stamp[0] = '\0';
}

/// Reads the text of the error number into record.LogTTxt. Returns 0, or -1
/// when no statement handle could be had. Any other failure leaves it empty.
int lookUpErrorText(RunLogRecord& record) {
  StatementGuard stmt;
  if (stmt.allocation == SQL_ERROR) return -1;
  if (formatStatement(kStatementCapacity, kErrorTextLookupStatement, static_cast<long>(record.LogTErr)) != 0)
    return 0;
  if (SQLExecDirect(stmt.handle, reinterpret_cast<SQLCHAR*>(statementBuffer), SQL_NTS) == SQL_ERROR) return 0;
  char text[sizeof record.LogTTxt] = {};
  SQLLEN indicator = 0;
  SQLBindCol(stmt.handle, 1, SQL_C_CHAR, text, sizeof text, &indicator);
  SQLRETURN rc = SQLFetch(stmt.handle);
  // A text cut to the field (SQL_SUCCESS_WITH_INFO) counts as found; a NULL
  // leaves the zeroed buffer, so the text stays empty.
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) copyField(record.LogTTxt, fieldView(text));
  return 0;
}
}  // namespace

void logInit(int argc, const char* const* argv, const char* moduleId, RunLogRecord& record) {
  std::memset(&record, 0, sizeof record);
  // Only a backslash separates the file name: this is how the run log has
  // always named the program, whatever the platform's own separator.
  if (argc > 0 && argv[0] != nullptr) {
    if (const char* slash = std::strrchr(argv[0], '\\')) copyField(record.LogPrg, slash + 1);
  }
  for (int i = 1; i < argc; ++i) {
    appendText(record.LogPrm, sizeof record.LogPrm, argv[i]);
    if (i + 1 < argc) appendText(record.LogPrm, sizeof record.LogPrm, " ");
  }
  localTimeStamp(record.LogStz);
  copyField(record.LogMod, moduleId);
}

void reportError(const char* code, const char* personnelNumber, int32_t date, int32_t errorNumber,
                 const char* functionName, int detailType) {
  // The diagnostic is taken before the row is written: a failed row write
  // replaces diagRecord, and the report is about the booking, not the row.
  int32_t nativeError = 0;
  char message[kDiagTextCapacity] = {};
  dbLastError(&nativeError, message);

  logSetError(functionName, personnelNumber, date, errorNumber, code, detailType);

  if (traceLevel >= 1) {
    std::printf("\n\nError in function: %s\n", functionName);
    std::printf("  Pnr: %s, Datum: %ld, ErrNr: %ld\n", personnelNumber, static_cast<long>(date),
                static_cast<long>(errorNumber));
    if (nativeError != 0) std::printf("  sqlcode: %d, sqlmsg: %s\n\n", static_cast<int>(nativeError), message);
  }
  // INT_MIN has no negation in 32 bits; no driver reports it, but it must not
  // overflow.
  int negated = nativeError == INT32_MIN ? INT32_MAX : -static_cast<int>(nativeError);
  std::printf("Message:\n- Text  : %s\n- Number: %i\n- Code  : %s\n", message, negated, code);
}

int logSetError(const char* functionName, const char* personnelNumber, int32_t date, int32_t errorNumber,
                const char* code, int detailType) {
  RunLogRecord& r = runLogRecord;
  std::memset(r.LogFkt, 0, sizeof r.LogFkt);
  std::memset(r.LogTTxt, 0, sizeof r.LogTTxt);
  std::memset(r.LogSTxt, 0, sizeof r.LogSTxt);
  std::memset(r.LogMsg, 0, sizeof r.LogMsg);
  copyField(r.LogPnr, personnelNumber);
  // The report prints the booking's own date number; the row gets one the
  // server accepts, or it would be refused and the failure go unrecorded.
  r.LogDtm = storableDateNumber(date);
  r.LogTErr = errorNumber;
  r.LogTyp = detailType;
  r.LogSErr = 0;
  copyField(r.LogFkt, functionName);
  copyField(r.LogMsg, code);
  if (detailType == kDetailFromDiagnostic) {
    dbLastError(&r.LogSErr, r.LogSTxt);
    for (char& c : r.LogSTxt)
      if (c == '\'') c = '"';
  }
  return SQLInsertKvs001Log(r);
}

int SQLInsertKvs001Log(RunLogRecord& record) {
  if (record.LogTErr != 0 && lookUpErrorText(record) != 0) return -1;

  StatementGuard stmt;
  if (stmt.allocation == SQL_ERROR) return -1;
  if (formatRunLogInsert(record, statementBuffer, sizeof statementBuffer) != 0) return -1;
  if (SQLExecDirect(stmt.handle, reinterpret_cast<SQLCHAR*>(statementBuffer), SQL_NTS) == SQL_ERROR) {
    dbGetDiag(SQL_HANDLE_STMT, stmt.handle);
    return diagRecord.nativeError;
  }
  return 0;
}
