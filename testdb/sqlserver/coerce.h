#pragma once
// SQL Server's conversions: a value stored into a typed column, and CONVERT/CAST.

#include "sqlserver/column_type.h"
#include "sqlserver/server_error.h"
#include "sqlserver/sql_value.h"

namespace testdb {

struct TypeSpec {
  // the target type
  ColumnType type = ColumnType::VarChar;
  // char/varchar length (-1 for max), decimal precision
  int length = 30;
  // decimal scale
  int scale = 0;
};

/// Converts v to what a column of type t stores: char padded to its length,
/// text checked against the length (8152; trailing blanks are cut silently),
/// numbers read from text (245), datetimes in their canonical text (241/242),
/// integers checked against their range (220). NULL stays NULL. Returns true,
/// or false with the error.
bool coerceToColumn(const Value& v, const TypeSpec& t, Value& out, ServerError& error);

/// CONVERT(t, v, style) / CAST(v AS t): like coerceToColumn, but text is cut to
/// the target length without an error, and a datetime source (fromDateTime) is
/// written in the style. Returns true, or false with the error.
bool convertValue(const Value& v, const TypeSpec& t, int style, bool fromDateTime, Value& out,
                  ServerError& error);

}  // namespace testdb
