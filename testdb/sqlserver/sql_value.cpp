#include "sqlserver/sql_value.h"

#include <cstdio>

namespace testdb {

std::string displayValue(const Value& v) {
  char buf[64];
  switch (v.kind) {
    case ValueKind::Null: return "<NULL>";
    case ValueKind::Int: snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v.i)); return buf;
    case ValueKind::Real: snprintf(buf, sizeof buf, "%.15g", v.d); return buf;
    case ValueKind::Text: return v.s;
  }
  return {};
}

std::string sqliteLiteral(const Value& v) {
  if (v.kind != ValueKind::Text) return v.kind == ValueKind::Null ? "NULL" : displayValue(v);
  std::string out = "'";
  for (char c : v.s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

}  // namespace testdb
