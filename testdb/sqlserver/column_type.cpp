#include "sqlserver/column_type.h"

namespace testdb {

const char* typeName(ColumnType type) {
  switch (type) {
    case ColumnType::Char: return "char";
    case ColumnType::VarChar: return "varchar";
    case ColumnType::Int: return "int";
    case ColumnType::SmallInt: return "smallint";
    case ColumnType::TinyInt: return "tinyint";
    case ColumnType::BigInt: return "bigint";
    case ColumnType::Bit: return "bit";
    case ColumnType::DateTime: return "datetime";
    case ColumnType::Float: return "float";
    case ColumnType::Decimal: return "decimal";
  }
  return "";
}

}  // namespace testdb
