#pragma once
// A result column bound as SQL_C_CHAR, and the rule for taking its value into
// a fixed field.

#include <cstddef>

#include "db/odbc.h"
#include "db/runlog_record.h"

/// Capacity of a bound column. It is larger than any field a lookup fills, so
/// that a char(n) value padded with blanks arrives whole and a value too long
/// for its field can be told from one that fits; and it takes the 256
/// characters of an error text the run log keeps.
inline constexpr size_t kColumnCapacity = sizeof RunLogRecord::LogTTxt;

/// One bound column: its buffer and its own length/indicator.
struct BoundColumn {
  /// The value as the driver wrote it, terminated.
  char text[kColumnCapacity];
  /// Length of the full value, or SQL_NULL_DATA.
  SQLLEN indicator;
};

/// Binds the column number (from 1) of the statement to column. Returns the
/// SQLBindCol result.
SQLRETURN bindColumn(SQLHSTMT statement, SQLUSMALLINT number, BoundColumn& column);

/// Copies the fetched value as it came into dst (capacity cap): NULL gives the
/// empty text; of its trailing blanks, those that do not fit are dropped.
/// Returns 0, or -1 when the value did not fit the bound buffer or, trailing
/// blanks aside, does not fit dst.
int takeColumn(const BoundColumn& column, char* dst, size_t cap);

/// takeColumn into a fixed field.
template <size_t N>
int takeColumn(const BoundColumn& column, char (&dst)[N]) {
  return takeColumn(column, dst, N);
}
