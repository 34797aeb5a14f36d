#include "engine/sqlite_functions.h"

#include <string>

#include "sqlserver/coerce.h"
#include "sqlserver/datetime_text.h"

namespace testdb {
namespace {

// Upper case of a Windows-1252 byte (ASCII and the Latin letters).
unsigned char foldCase(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
  if (c == 0x9A || c == 0x9C || c == 0x9E) return static_cast<unsigned char>(c - 0x10);
  if (c == 0xFF) return 0x9F;
  return c;
}

int collate(void*, int na, const void* a, int nb, const void* b) { return compareTsql(a, na, b, nb); }

Value fromSqlite(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return Value::integer(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return Value::real(sqlite3_value_double(v));
    case SQLITE_NULL: return Value::null();
    default: {
      const unsigned char* p = sqlite3_value_text(v);
      return Value::text(std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_value_bytes(v))));
    }
  }
}

void resultValue(sqlite3_context* ctx, const Value& v) {
  switch (v.kind) {
    case ValueKind::Null: sqlite3_result_null(ctx); break;
    case ValueKind::Int: sqlite3_result_int64(ctx, v.i); break;
    case ValueKind::Real: sqlite3_result_double(ctx, v.d); break;
    case ValueKind::Text:
      sqlite3_result_text(ctx, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
      break;
  }
}

void raise(sqlite3_context* ctx, const ServerError& e) {
  auto* errors = static_cast<FunctionErrors*>(sqlite3_user_data(ctx));
  if (!errors->pending) {
    errors->pending = true;
    errors->error = e;
  }
  sqlite3_result_error(ctx, e.message.c_str(), -1);
}

TypeSpec typeArgs(sqlite3_value** argv) {
  return TypeSpec{static_cast<ColumnType>(sqlite3_value_int(argv[1])), sqlite3_value_int(argv[2]),
                  sqlite3_value_int(argv[3])};
}

// tsql_coerce(value, type, length, scale): the value as a column of that type stores it.
void coerceFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Value out;
  ServerError err;
  if (!coerceToColumn(fromSqlite(argv[0]), typeArgs(argv), out, err)) return raise(ctx, err);
  resultValue(ctx, out);
}

// tsql_convert(value, type, length, scale, style, fromDateTime)
void convertFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Value out;
  ServerError err;
  if (!convertValue(fromSqlite(argv[0]), typeArgs(argv), sqlite3_value_int(argv[4]), sqlite3_value_int(argv[5]) != 0,
                    out, err)) {
    return raise(ctx, err);
  }
  resultValue(ctx, out);
}

// tsql_add(a, b): T-SQL's +, which concatenates two texts and adds anything else.
void addFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Value a = fromSqlite(argv[0]);
  Value b = fromSqlite(argv[1]);
  if (a.kind == ValueKind::Null || b.kind == ValueKind::Null) return sqlite3_result_null(ctx);
  if (a.kind == ValueKind::Text && b.kind == ValueKind::Text) return resultValue(ctx, Value::text(a.s + b.s));
  bool real = a.kind == ValueKind::Real || b.kind == ValueKind::Real;
  TypeSpec target{real ? ColumnType::Float : ColumnType::BigInt, 0, 0};
  Value x, y;
  ServerError err;
  if (!coerceToColumn(a, target, x, err) || !coerceToColumn(b, target, y, err)) return raise(ctx, err);
  if (real) return sqlite3_result_double(ctx, x.d + y.d);
  sqlite3_result_int64(ctx, x.i + y.i);
}

std::string textOf(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

// LEN: characters without the trailing blanks.
void lenFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string s = textOf(argv[0]);
  size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') --n;
  sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(n));
}

void leftRight(sqlite3_context* ctx, sqlite3_value** argv, bool left) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  std::string s = textOf(argv[0]);
  sqlite3_int64 n = sqlite3_value_int64(argv[1]);
  if (n < 0) return raise(ctx, serverError(536, {left ? "left" : "right"}));
  size_t keep = static_cast<size_t>(n) < s.size() ? static_cast<size_t>(n) : s.size();
  std::string out = left ? s.substr(0, keep) : s.substr(s.size() - keep);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

void leftFn(sqlite3_context* ctx, int, sqlite3_value** argv) { leftRight(ctx, argv, true); }
void rightFn(sqlite3_context* ctx, int, sqlite3_value** argv) { leftRight(ctx, argv, false); }

void datePart(sqlite3_context* ctx, sqlite3_value** argv, int part) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  DateTime dt;
  int rc = parseDateTime(textOf(argv[0]), 121, dt);
  if (rc) return raise(ctx, serverError(rc));
  sqlite3_result_int(ctx, part == 0 ? dt.year : part == 1 ? dt.month : dt.day);
}

void yearFn(sqlite3_context* ctx, int, sqlite3_value** argv) { datePart(ctx, argv, 0); }
void monthFn(sqlite3_context* ctx, int, sqlite3_value** argv) { datePart(ctx, argv, 1); }
void dayFn(sqlite3_context* ctx, int, sqlite3_value** argv) { datePart(ctx, argv, 2); }

void nowFn(sqlite3_context* ctx, int, sqlite3_value**) {
  std::string now = canonicalText(localNow());
  sqlite3_result_text(ctx, now.data(), static_cast<int>(now.size()), SQLITE_TRANSIENT);
}

}  // namespace

int compareTsql(const void* a, int na, const void* b, int nb) {
  auto* x = static_cast<const unsigned char*>(a);
  auto* y = static_cast<const unsigned char*>(b);
  while (na > 0 && x[na - 1] == ' ') --na;
  while (nb > 0 && y[nb - 1] == ' ') --nb;
  int n = na < nb ? na : nb;
  for (int i = 0; i < n; ++i) {
    int d = foldCase(x[i]) - foldCase(y[i]);
    if (d) return d;
  }
  return na - nb;
}

int registerFunctions(sqlite3* db, FunctionErrors* errors) {
  struct Fn {
    const char* name;
    int args;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
    bool deterministic;
  };
  static constexpr Fn kFns[] = {
      {"tsql_coerce", 4, coerceFn, true}, {"tsql_convert", 6, convertFn, true}, {"tsql_add", 2, addFn, true},
      {"tsql_len", 1, lenFn, true},       {"tsql_left", 2, leftFn, true},       {"tsql_right", 2, rightFn, true},
      {"tsql_year", 1, yearFn, true},     {"tsql_month", 1, monthFn, true},     {"tsql_day", 1, dayFn, true},
      {"tsql_now", 0, nowFn, false},
  };
  int rc = sqlite3_create_collation(db, "TSQL", SQLITE_UTF8, nullptr, collate);
  for (const Fn& f : kFns) {
    if (rc != SQLITE_OK) return rc;
    rc = sqlite3_create_function(db, f.name, f.args, SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0),
                                 errors, f.fn, nullptr, nullptr);
  }
  return rc;
}

}  // namespace testdb
