#include "sqlserver/coerce.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "sqlserver/datetime_text.h"

namespace testdb {
namespace {

bool rangeOf(ColumnType t, int64_t& lo, int64_t& hi) {
  switch (t) {
    case ColumnType::TinyInt: lo = 0; hi = 255; return true;
    case ColumnType::SmallInt: lo = -32768; hi = 32767; return true;
    case ColumnType::Int: lo = -2147483648LL; hi = 2147483647LL; return true;
    default: return false;
  }
}

// Reads a whole text as an integer (blanks around it allowed).
bool textToInteger(const std::string& s, int64_t& out) {
  const char* p = s.c_str();
  while (*p == ' ') ++p;
  if (!*p) {
    out = 0;  // SQL Server converts '' to 0
    return true;
  }
  errno = 0;
  char* end = nullptr;
  long long v = strtoll(p, &end, 10);
  if (end == p || errno) return false;
  while (*end == ' ') ++end;
  if (*end) return false;
  out = v;
  return true;
}

bool textToReal(const std::string& s, double& out) {
  const char* p = s.c_str();
  char* end = nullptr;
  out = strtod(p, &end);
  if (end == p) return false;
  while (*end == ' ') ++end;
  return *end == '\0';
}

bool toInteger(const Value& v, const TypeSpec& t, Value& out, ServerError& error) {
  int64_t n = 0;
  if (v.kind == ValueKind::Int) {
    n = v.i;
  } else if (v.kind == ValueKind::Real) {
    n = static_cast<int64_t>(v.d);
  } else if (!textToInteger(v.s, n)) {
    error = serverError(245, {v.s, typeName(t.type)});
    return false;
  }
  if (t.type == ColumnType::Bit) n = n != 0;
  int64_t lo = 0, hi = 0;
  if (rangeOf(t.type, lo, hi) && (n < lo || n > hi)) {
    error = serverError(220, {typeName(t.type), displayValue(Value::integer(n))});
    return false;
  }
  out = Value::integer(n);
  return true;
}

bool toReal(const Value& v, const TypeSpec& t, Value& out, ServerError& error) {
  double d = 0;
  if (v.kind == ValueKind::Int) {
    d = static_cast<double>(v.i);
  } else if (v.kind == ValueKind::Real) {
    d = v.d;
  } else if (!textToReal(v.s, d)) {
    error = serverError(245, {v.s, typeName(t.type)});
    return false;
  }
  if (t.type == ColumnType::Decimal) {
    double scale = std::pow(10.0, t.scale);
    d = std::round(d * scale) / scale;
  }
  out = Value::real(d);
  return true;
}

bool toDateTime(const Value& v, int style, Value& out, ServerError& error) {
  if (v.kind != ValueKind::Text) {
    // Numbers are days since 1900-01-01 in SQL Server; the program never uses that.
    error = serverError(241);
    return false;
  }
  DateTime dt;
  int rc = parseDateTime(v.s, style, dt);
  if (rc) {
    error = serverError(rc);
    return false;
  }
  out = Value::text(canonicalText(dt));
  return true;
}

// The text of a number as SQL Server converts it to varchar.
std::string numberText(const Value& v) { return displayValue(v); }

}  // namespace

bool coerceToColumn(const Value& v, const TypeSpec& t, Value& out, ServerError& error) {
  if (v.kind == ValueKind::Null) {
    out = v;
    return true;
  }
  switch (t.type) {
    case ColumnType::Char:
    case ColumnType::VarChar: {
      std::string s = v.kind == ValueKind::Text ? v.s : numberText(v);
      if (t.length >= 0 && s.size() > static_cast<size_t>(t.length)) {
        for (size_t i = static_cast<size_t>(t.length); i < s.size(); ++i) {
          if (s[i] != ' ') {
            error = serverError(8152);
            return false;
          }
        }
        s.resize(static_cast<size_t>(t.length));
      }
      if (t.type == ColumnType::Char && t.length > 0 && s.size() < static_cast<size_t>(t.length)) {
        s.append(static_cast<size_t>(t.length) - s.size(), ' ');
      }
      out = Value::text(std::move(s));
      return true;
    }
    case ColumnType::DateTime: return toDateTime(v, 0, out, error);
    case ColumnType::Float:
    case ColumnType::Decimal: return toReal(v, t, out, error);
    default: return toInteger(v, t, out, error);
  }
}

bool convertValue(const Value& v, const TypeSpec& t, int style, bool fromDateTime, Value& out,
                  ServerError& error) {
  if (v.kind == ValueKind::Null) {
    out = v;
    return true;
  }
  if (isText(t.type)) {
    std::string s;
    if (fromDateTime && v.kind == ValueKind::Text) {
      DateTime dt;
      if (parseDateTime(v.s, 121, dt) != 0) {
        s = v.s;
      } else if (formatStyle(dt, style, s) != 0) {
        error = serverError(281, {std::to_string(style)});
        return false;
      }
    } else {
      s = v.kind == ValueKind::Text ? v.s : numberText(v);
    }
    if (t.length >= 0 && s.size() > static_cast<size_t>(t.length)) s.resize(static_cast<size_t>(t.length));
    if (t.type == ColumnType::Char && t.length > 0 && s.size() < static_cast<size_t>(t.length)) {
      s.append(static_cast<size_t>(t.length) - s.size(), ' ');
    }
    out = Value::text(std::move(s));
    return true;
  }
  if (t.type == ColumnType::DateTime) {
    if (fromDateTime) {
      out = v;
      return true;
    }
    return toDateTime(v, style, out, error);
  }
  return coerceToColumn(v, t, out, error);
}

}  // namespace testdb
