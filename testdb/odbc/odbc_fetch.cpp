// Rows: SQLBindCol, SQLFetch and SQLGetData, with ODBC's conversions.

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sqlserver/datetime_text.h"
#include "odbc/odbc_handles.h"

namespace testdb {
namespace {

struct Cell {
  // the column is NULL
  bool isNull = false;
  // the value is a number (a cut would change it: 22003, not 01004)
  bool numeric = false;
  // the value as text
  std::string text;
  // the value as a number when numeric
  double number = 0;
  long long integer = 0;
  bool isInteger = false;
};

Cell readCell(Stmt* stmt, SQLUSMALLINT number) {
  Cell c;
  sqlite3_stmt* st = stmt->exec.stmt;
  int i = number - 1;
  const ResultColumn& col = stmt->exec.columns[static_cast<size_t>(i)];
  char buf[64];
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_NULL: c.isNull = true; break;
    case SQLITE_INTEGER:
      c.numeric = true;
      c.isInteger = true;
      c.integer = sqlite3_column_int64(st, i);
      c.number = static_cast<double>(c.integer);
      snprintf(buf, sizeof buf, "%lld", c.integer);
      c.text = buf;
      break;
    case SQLITE_FLOAT:
      c.numeric = true;
      c.number = sqlite3_column_double(st, i);
      if (col.typeKnown && col.type.type == ColumnType::Decimal) {
        int scale = col.type.scale < 0 ? 0 : col.type.scale > 38 ? 38 : col.type.scale;
        auto done = std::to_chars(buf, buf + sizeof buf - 1, c.number, std::chars_format::fixed, scale);
        *done.ptr = '\0';
      } else {
        snprintf(buf, sizeof buf, "%.15g", c.number);
      }
      c.text = buf;
      break;
    default:
      c.text.assign(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                    static_cast<size_t>(sqlite3_column_bytes(st, i)));
      break;
  }
  return c;
}

SQLSMALLINT defaultCType(const ResultColumn& c) {
  if (!c.typeKnown) return SQL_C_CHAR;
  if (isInteger(c.type.type)) return c.type.type == ColumnType::BigInt ? SQL_C_SBIGINT : SQL_C_SLONG;
  if (c.type.type == ColumnType::Float || c.type.type == ColumnType::Decimal) return SQL_C_DOUBLE;
  return SQL_C_CHAR;
}

// Reads the cell as a number for a numeric C type. False with 22018 in diag.
bool cellNumber(const Cell& c, DiagArea& diag, double& d, long long& ll) {
  if (c.numeric) {
    d = c.number;
    ll = c.isInteger ? c.integer : static_cast<long long>(c.number);
    return true;
  }
  const char* p = c.text.c_str();
  char* end = nullptr;
  errno = 0;
  d = strtod(p, &end);
  while (end && *end == ' ') ++end;
  if (end == p || !end || *end || errno) {
    diag.driver("22018", "Invalid character value for cast");
    return false;
  }
  ll = static_cast<long long>(d);
  return true;
}

template <typename T>
bool storeInteger(long long v, long long lo, long long hi, SQLPOINTER target, SQLLEN* indicator, DiagArea& diag) {
  if (v < lo || v > hi) {
    diag.driver("22003", "Numeric value out of range");
    return false;
  }
  if (target) {
    T t = static_cast<T>(v);
    memcpy(target, &t, sizeof t);
  }
  if (indicator) *indicator = sizeof(T);
  return true;
}

// Converts one cell into the application's buffer. `offset` is how much of a
// text was returned by earlier SQLGetData calls (-1: all of it).
SQLRETURN convert(const Cell& c, SQLSMALLINT cType, SQLPOINTER target, SQLLEN capacity, SQLLEN* indicator,
                  SQLLEN* offset, DiagArea& diag) {
  if (c.isNull) {
    if (!indicator) {
      diag.driver("22002", "Indicator variable required but not supplied");
      return SQL_ERROR;
    }
    *indicator = SQL_NULL_DATA;
    if (offset) *offset = -1;
    return SQL_SUCCESS;
  }
  double d = 0;
  long long ll = 0;
  switch (cType) {
    case SQL_C_CHAR: {
      size_t start = offset ? static_cast<size_t>(*offset) : 0;
      std::string_view rest = std::string_view(c.text).substr(start < c.text.size() ? start : c.text.size());
      if (indicator) *indicator = static_cast<SQLLEN>(rest.size());
      if (!target || capacity <= 0) {
        if (rest.empty()) return SQL_SUCCESS;
        diag.driver("01004", "String data, right truncated");
        return SQL_SUCCESS_WITH_INFO;
      }
      size_t room = static_cast<size_t>(capacity - 1);
      if (c.numeric && rest.size() > room) {
        diag.driver("22003", "Numeric value out of range");
        return SQL_ERROR;
      }
      size_t n = rest.size() < room ? rest.size() : room;
      memcpy(target, rest.data(), n);
      static_cast<char*>(target)[n] = '\0';
      if (n < rest.size()) {
        if (offset) *offset = static_cast<SQLLEN>(start + n);
        diag.driver("01004", "String data, right truncated");
        return SQL_SUCCESS_WITH_INFO;
      }
      if (offset) *offset = -1;
      return SQL_SUCCESS;
    }
    case SQL_C_SLONG:
    case SQL_C_LONG:
      if (!cellNumber(c, diag, d, ll)) return SQL_ERROR;
      return storeInteger<SQLINTEGER>(ll, -2147483648LL, 2147483647LL, target, indicator, diag) ? SQL_SUCCESS : SQL_ERROR;
    case SQL_C_ULONG:
      if (!cellNumber(c, diag, d, ll)) return SQL_ERROR;
      return storeInteger<SQLUINTEGER>(ll, 0, 4294967295LL, target, indicator, diag) ? SQL_SUCCESS : SQL_ERROR;
    case SQL_C_SSHORT:
    case SQL_C_SHORT:
      if (!cellNumber(c, diag, d, ll)) return SQL_ERROR;
      return storeInteger<SQLSMALLINT>(ll, -32768, 32767, target, indicator, diag) ? SQL_SUCCESS : SQL_ERROR;
    case SQL_C_USHORT:
      if (!cellNumber(c, diag, d, ll)) return SQL_ERROR;
      return storeInteger<SQLUSMALLINT>(ll, 0, 65535, target, indicator, diag) ? SQL_SUCCESS : SQL_ERROR;
    case SQL_C_STINYINT:
    case SQL_C_TINYINT:
      if (!cellNumber(c, diag, d, ll)) return SQL_ERROR;
      return storeInteger<SQLSCHAR>(ll, -128, 127, target, indicator, diag) ? SQL_SUCCESS : SQL_ERROR;
    case SQL_C_UTINYINT:
    case SQL_C_BIT:
      if (!cellNumber(c, diag, d, ll)) return SQL_ERROR;
      return storeInteger<SQLCHAR>(ll, 0, 255, target, indicator, diag) ? SQL_SUCCESS : SQL_ERROR;
    case SQL_C_SBIGINT:
      if (!cellNumber(c, diag, d, ll)) return SQL_ERROR;
      return storeInteger<SQLBIGINT>(ll, INT64_MIN, INT64_MAX, target, indicator, diag) ? SQL_SUCCESS : SQL_ERROR;
    case SQL_C_DOUBLE:
    case SQL_C_FLOAT: {
      if (!cellNumber(c, diag, d, ll)) return SQL_ERROR;
      if (cType == SQL_C_DOUBLE) {
        if (target) memcpy(target, &d, sizeof d);
        if (indicator) *indicator = sizeof d;
      } else {
        float f = static_cast<float>(d);
        if (target) memcpy(target, &f, sizeof f);
        if (indicator) *indicator = sizeof f;
      }
      return SQL_SUCCESS;
    }
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP: {
      DateTime dt;
      if (c.numeric || parseDateTime(c.text, 121, dt) != 0) {
        diag.driver("22018", "Invalid character value for cast");
        return SQL_ERROR;
      }
      SQL_TIMESTAMP_STRUCT ts{};
      ts.year = static_cast<SQLSMALLINT>(dt.year);
      ts.month = static_cast<SQLUSMALLINT>(dt.month);
      ts.day = static_cast<SQLUSMALLINT>(dt.day);
      ts.hour = static_cast<SQLUSMALLINT>(dt.hour);
      ts.minute = static_cast<SQLUSMALLINT>(dt.minute);
      ts.second = static_cast<SQLUSMALLINT>(dt.second);
      ts.fraction = static_cast<SQLUINTEGER>(dt.millis) * 1000000u;
      if (target) memcpy(target, &ts, sizeof ts);
      if (indicator) *indicator = sizeof ts;
      return SQL_SUCCESS;
    }
    default:
      diag.driver("HY003", "Program type out of range");
      return SQL_ERROR;
  }
}

bool checkRow(Stmt* stmt) {
  if (stmt->dbc->faults.broken()) {
    connectionBroken(stmt->diag);
    return false;
  }
  if (!stmt->exec.hasResultSet) {
    stmt->diag.driver("24000", "Invalid cursor state");
    return false;
  }
  return true;
}

}  // namespace
}  // namespace testdb

using namespace testdb;

SQLRETURN SQL_API SQLBindCol(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT cType, SQLPOINTER target,
                             SQLLEN capacity, SQLLEN* indicator) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  stmt->diag.clear();
  if (number < 1) {
    stmt->diag.driver("07009", "Invalid descriptor index");
    return SQL_ERROR;
  }
  if (stmt->bindings.size() <= number) stmt->bindings.resize(number + 1u);
  Binding& b = stmt->bindings[number];
  if (!target) {
    b = Binding{};
    return SQL_SUCCESS;
  }
  if (capacity < 0) {
    stmt->diag.driver("HY090", "Invalid string or buffer length");
    return SQL_ERROR;
  }
  b.cType = cType;
  b.target = target;
  b.capacity = capacity;
  b.indicator = indicator;
  return SQL_SUCCESS;
}

namespace testdb {
namespace {

// The driver never calls its own exported entry points: inside a process that
// links the driver manager those names are the manager's.
SQLRETURN fetchRow(Stmt* stmt) {
  stmt->diag.clear();
  if (!checkRow(stmt)) return SQL_ERROR;
  ErrorList errors;
  int rc = stmt->dbc->session.next(stmt->exec, errors);
  stmt->onRow = rc == 1;
  if (rc < 0) {
    stmt->diag.add(errors);
    return SQL_ERROR;
  }
  if (rc == 0) return SQL_NO_DATA;
  stmt->readOffsets.assign(stmt->exec.columns.size() + 1, 0);
  SQLRETURN result = SQL_SUCCESS;
  for (size_t i = 1; i < stmt->bindings.size() && i <= stmt->exec.columns.size(); ++i) {
    const Binding& b = stmt->bindings[i];
    if (!b.target) continue;
    SQLSMALLINT cType = b.cType == SQL_C_DEFAULT ? defaultCType(stmt->exec.columns[i - 1]) : b.cType;
    Cell cell = readCell(stmt, static_cast<SQLUSMALLINT>(i));
    SQLRETURN rc1 = convert(cell, cType, b.target, b.capacity, b.indicator, nullptr, stmt->diag);
    if (rc1 == SQL_ERROR) result = SQL_ERROR;
    else if (rc1 == SQL_SUCCESS_WITH_INFO && result == SQL_SUCCESS) result = SQL_SUCCESS_WITH_INFO;
  }
  return result;
}

}  // namespace
}  // namespace testdb

SQLRETURN SQL_API SQLFetch(SQLHSTMT handle) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  return fetchRow(stmt);
}

SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT handle, SQLSMALLINT orientation, SQLLEN) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  if (orientation != SQL_FETCH_NEXT) {
    stmt->diag.clear();
    stmt->diag.driver("HY106", "Fetch type out of range");
    return SQL_ERROR;
  }
  return fetchRow(stmt);
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT cType, SQLPOINTER target,
                             SQLLEN capacity, SQLLEN* indicator) {
  Stmt* stmt = toStmt(handle);
  if (!stmt) return SQL_INVALID_HANDLE;
  stmt->diag.clear();
  if (!checkRow(stmt)) return SQL_ERROR;
  if (!stmt->onRow) {
    stmt->diag.driver("24000", "Invalid cursor state");
    return SQL_ERROR;
  }
  if (number < 1 || number > stmt->exec.columns.size()) {
    stmt->diag.driver("07009", "Invalid descriptor index");
    return SQL_ERROR;
  }
  SQLLEN& offset = stmt->readOffsets[number];
  if (offset < 0) return SQL_NO_DATA;
  SQLSMALLINT type = cType == SQL_C_DEFAULT ? defaultCType(stmt->exec.columns[number - 1u]) : cType;
  Cell cell = readCell(stmt, number);
  SQLRETURN rc = convert(cell, type, target, capacity, indicator, &offset, stmt->diag);
  if (rc == SQL_SUCCESS && type != SQL_C_CHAR) offset = -1;
  return rc;
}
