#pragma once
// One SQL value as the driver moves it between the T-SQL text, SQLite and the
// application: SQLite's storage classes are all we need.

#include <cstdint>
#include <string>

namespace testdb {

enum class ValueKind { Null, Int, Real, Text };

struct Value {
  // storage class of the value
  ValueKind kind = ValueKind::Null;
  // the number when kind is Int
  int64_t i = 0;
  // the number when kind is Real
  double d = 0;
  // the bytes when kind is Text (Windows-1252, passed through unchanged)
  std::string s;

  static Value null() { return Value{}; }
  static Value integer(int64_t v) { Value x; x.kind = ValueKind::Int; x.i = v; return x; }
  static Value real(double v) { Value x; x.kind = ValueKind::Real; x.d = v; return x; }
  static Value text(std::string v) { Value x; x.kind = ValueKind::Text; x.s = std::move(v); return x; }
};

/// The value as SQL Server shows it in messages: text as is, numbers in decimal.
std::string displayValue(const Value& v);

/// The value as an SQLite literal (text quoted with doubled apostrophes).
std::string sqliteLiteral(const Value& v);

}  // namespace testdb
