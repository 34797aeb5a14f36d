#pragma once
// How a result column is described to ODBC: SQL type, sizes, type name.

#include <sql.h>
#include <sqlext.h>

#include "tsql/translate.h"

namespace testdb {

/// The ODBC SQL type of a column (datetime is SQL_TYPE_TIMESTAMP for ODBC 3,
/// SQL_TIMESTAMP for ODBC 2 applications).
SQLSMALLINT sqlTypeOf(const ResultColumn& c, SQLINTEGER odbcVersion);
/// The column size (characters, or digits of a number).
SQLULEN columnSizeOf(const ResultColumn& c);
/// The display size (what isql uses for its column width).
SQLLEN displaySizeOf(const ResultColumn& c);
/// The decimal digits (scale; 3 for datetime).
SQLSMALLINT decimalDigitsOf(const ResultColumn& c);
/// SQL Server's type name.
const char* typeNameOf(const ResultColumn& c);

}  // namespace testdb
