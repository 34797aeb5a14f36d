#pragma once
// SQL Server's column types as the test database declares, converts and
// describes them.

namespace testdb {

enum class ColumnType { Char, VarChar, Int, SmallInt, TinyInt, BigInt, Bit, DateTime, Float, Decimal };

/// SQL Server's name of a type as declared, for messages: "int", "char" ...
const char* typeName(ColumnType type);

/// True for char and varchar.
inline bool isText(ColumnType t) { return t == ColumnType::Char || t == ColumnType::VarChar; }

/// True for the integer types.
inline bool isInteger(ColumnType t) {
  return t == ColumnType::Int || t == ColumnType::SmallInt || t == ColumnType::TinyInt ||
         t == ColumnType::BigInt || t == ColumnType::Bit;
}

}  // namespace testdb
