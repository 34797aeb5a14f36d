#include "db/connection.h"

#include <cstdio>
#include <cstring>

#include "common/field.h"
#include "common/trace.h"

SQLHENV dbEnvironment = SQL_NULL_HENV;
SQLHDBC dbConnection = SQL_NULL_HDBC;
char statementBuffer[kStatementCapacity];
DiagRecord diagRecord;

namespace {
SQLCHAR* sqlText(const char* text) {
  // ODBC's narrow API takes non-const text it never writes.
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text));
}
}  // namespace

int dbConnect(const char* login, const char* password, const char* dataSource) {
  if (dbConnection != SQL_NULL_HDBC) {
    SQLFreeHandle(SQL_HANDLE_DBC, dbConnection);
    dbConnection = SQL_NULL_HDBC;
  }
  if (dbEnvironment != SQL_NULL_HENV) {
    SQLFreeHandle(SQL_HANDLE_ENV, dbEnvironment);
    dbEnvironment = SQL_NULL_HENV;
  }
  // The texts go to SQLConnect whole: a password of more than 23 characters
  // must reach the server as it was configured, not cut.
  if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &dbEnvironment) == SQL_ERROR) return -1;
  SQLSetEnvAttr(dbEnvironment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                SQL_IS_INTEGER);
  if (SQLAllocHandle(SQL_HANDLE_DBC, dbEnvironment, &dbConnection) == SQL_ERROR) return -1;

  SQLRETURN rc = SQLConnect(dbConnection, sqlText(dataSource), SQL_NTS, sqlText(login), SQL_NTS,
                            sqlText(password), SQL_NTS);
  if (rc == SQL_ERROR) {
    dbGetDiag(SQL_HANDLE_DBC, dbConnection);
    if (traceLevel >= 1)
      std::printf("Connect Error: SQLCode: %ld sqlState: %s Msg: %s\n",
                  static_cast<long>(diagRecord.nativeError), diagRecord.state, diagRecord.message);
    return -1;
  }
  return 0;
}

void dbGetDiag(SQLSMALLINT handleType, SQLHANDLE handle) {
  std::memset(&diagRecord, 0, sizeof diagRecord);
  SQLINTEGER nativeError = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRec(handleType, handle, 1, reinterpret_cast<SQLCHAR*>(diagRecord.state), &nativeError,
                reinterpret_cast<SQLCHAR*>(diagRecord.message), sizeof diagRecord.message, &length);
  diagRecord.nativeError = static_cast<int32_t>(nativeError);
  // The driver terminates what it writes; these keep the record a text even
  // when a driver does not.
  diagRecord.state[sizeof diagRecord.state - 1] = '\0';
  diagRecord.message[sizeof diagRecord.message - 1] = '\0';
}

void dbLastError(int32_t* nativeError, char* text) {
  *nativeError = diagRecord.nativeError;
  if (diagRecord.nativeError == 0) return;  // the caller's text stays as it was
  copyText(text, kDiagTextCapacity, fieldView(diagRecord.message));
  trimDiagText(text);
}

void trimDiagText(char* text) {
  size_t n = std::strlen(text);
  while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\n')) --n;
  text[n] = '\0';
}

void dbResetForTest() {
  std::memset(&diagRecord, 0, sizeof diagRecord);
  statementBuffer[0] = '\0';
}
