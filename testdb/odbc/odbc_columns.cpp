#include "odbc/odbc_columns.h"

namespace testdb {
namespace {

constexpr int kUnknownTextSize = 255;
constexpr int kMaxTextSize = 8000;

}  // namespace

SQLSMALLINT sqlTypeOf(const ResultColumn& c, SQLINTEGER odbcVersion) {
  if (!c.typeKnown) return SQL_VARCHAR;
  switch (c.type.type) {
    case ColumnType::Char: return SQL_CHAR;
    case ColumnType::VarChar: return SQL_VARCHAR;
    case ColumnType::Int: return SQL_INTEGER;
    case ColumnType::SmallInt: return SQL_SMALLINT;
    case ColumnType::TinyInt: return SQL_TINYINT;
    case ColumnType::BigInt: return SQL_BIGINT;
    case ColumnType::Bit: return SQL_BIT;
    case ColumnType::DateTime: return odbcVersion == SQL_OV_ODBC2 ? SQL_TIMESTAMP : SQL_TYPE_TIMESTAMP;
    case ColumnType::Float: return SQL_FLOAT;
    case ColumnType::Decimal: return SQL_DECIMAL;
  }
  return SQL_VARCHAR;
}

SQLULEN columnSizeOf(const ResultColumn& c) {
  if (!c.typeKnown) return kUnknownTextSize;
  switch (c.type.type) {
    case ColumnType::Char:
    case ColumnType::VarChar:
      if (c.type.length < 0) return kMaxTextSize;
      return c.type.length > 0 ? static_cast<SQLULEN>(c.type.length) : kUnknownTextSize;
    case ColumnType::Int: return 10;
    case ColumnType::SmallInt: return 5;
    case ColumnType::TinyInt: return 3;
    case ColumnType::BigInt: return 19;
    case ColumnType::Bit: return 1;
    case ColumnType::DateTime: return 23;
    case ColumnType::Float: return 15;
    case ColumnType::Decimal: return static_cast<SQLULEN>(c.type.length);
  }
  return kUnknownTextSize;
}

SQLLEN displaySizeOf(const ResultColumn& c) {
  if (!c.typeKnown) return kUnknownTextSize;
  switch (c.type.type) {
    case ColumnType::Int: return 11;
    case ColumnType::SmallInt: return 6;
    case ColumnType::BigInt: return 20;
    case ColumnType::Float: return 24;
    case ColumnType::Decimal: return c.type.length + 2;
    default: return static_cast<SQLLEN>(columnSizeOf(c));
  }
}

SQLSMALLINT decimalDigitsOf(const ResultColumn& c) {
  if (!c.typeKnown) return 0;
  if (c.type.type == ColumnType::DateTime) return 3;
  if (c.type.type == ColumnType::Decimal) return static_cast<SQLSMALLINT>(c.type.scale);
  return 0;
}

const char* typeNameOf(const ResultColumn& c) { return c.typeKnown ? typeName(c.type.type) : "varchar"; }

}  // namespace testdb
