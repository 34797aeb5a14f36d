#pragma once
// What SQLite needs to behave like SQL Server for the translated statements:
// the TSQL collation (case-insensitive, trailing blanks ignored) and the
// tsql_* functions that the translator calls for non-constant values.

#include <sqlite3.h>

#include "sqlserver/server_error.h"

namespace testdb {

/// Where a tsql_* function leaves the SQL Server error it raised, since SQLite
/// itself only passes a text.
struct FunctionErrors {
  // an error was raised since the last clear()
  bool pending = false;
  // the first error raised
  ServerError error;
  void clear() { pending = false; }
};

/// Registers the collation and functions on db. Returns SQLITE_OK or an SQLite code.
int registerFunctions(sqlite3* db, FunctionErrors* errors);

/// The TSQL collation: compares ignoring case and trailing blanks. <0, 0, >0.
int compareTsql(const void* a, int na, const void* b, int nb);

}  // namespace testdb
