#pragma once
// The program's one database connection, the shared statement buffer and the
// record of the last diagnosed ODBC failure. All of it is process-wide and
// lives until the process ends: the connection is never closed by the run.

#include <cstdint>

#include "db/odbc.h"

/// The last ODBC failure that was diagnosed (not every failure is).
struct DiagRecord {
  /// Five-character SQLSTATE, terminated.
  char state[256];
  /// Message text as the driver gave it, terminated.
  char message[1000];
  /// The driver's native error (for SQL Server, the server's error number).
  int32_t nativeError;
};

/// Capacity of the shared statement buffer.
inline constexpr int kStatementCapacity = 1024;
/// Longest lookup or booking insert statement, in characters.
inline constexpr int kStatementLimit = 1000;
/// Capacity of the text outputs of dbLastError.
inline constexpr int kDiagTextCapacity = 257;

extern SQLHENV dbEnvironment;
extern SQLHDBC dbConnection;
extern char statementBuffer[kStatementCapacity];
extern DiagRecord diagRecord;

/// Opens the connection. Returns 0, or -1 (after printing the driver's
/// diagnostic when SQLConnect itself failed).
int dbConnect(const char* login, const char* password, const char* dataSource);

/// Replaces diagRecord with the first diagnostic record of the handle.
void dbGetDiag(SQLSMALLINT handleType, SQLHANDLE handle);

/// Sets *nativeError from diagRecord and, when it is not 0, copies at most 256
/// characters of the message into text (capacity 257), trimmed at the end.
void dbLastError(int32_t* nativeError, char* text);

/// Removes trailing blanks, tabs and line feeds in place (a CR stays).
void trimDiagText(char* text);

/// Forgets the connection and the diagnostic; for tests that start afresh.
void dbResetForTest();
