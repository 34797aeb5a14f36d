#include "tds/results.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sqlserver/datetime_text.h"
#include "tds/tokens.h"
#include "tds/wire.h"

namespace testdb::tds {
namespace {

constexpr uint8_t kTokenColMetadata = 0x81;
constexpr uint8_t kTokenRow = 0xD1;
constexpr uint8_t kTypeIntN = 0x26;
constexpr uint8_t kTypeBitN = 0x68;
constexpr uint8_t kTypeDecimalN = 0x6A;
constexpr uint8_t kTypeFloatN = 0x6D;
constexpr uint8_t kTypeDateTimeN = 0x6F;
constexpr uint8_t kTypeBigVarChar = 0xA7;
constexpr uint8_t kTypeBigChar = 0xAF;
constexpr uint16_t kFlagNullable = 0x0001;
// updatable: unknown
constexpr uint16_t kFlagUpdatableUnknown = 0x0008;
constexpr int kMaxText = 8000;
constexpr uint16_t kNullText = 0xFFFF;

enum class Wire { Int, Bit, Float, Decimal, DateTime, Char, VarChar };

struct WireType {
  Wire kind = Wire::VarChar;
  // bytes of a fixed-size number, characters of a text
  int size = kMaxText;
  int precision = 0;
  int scale = 0;
};

WireType wireTypeOf(const ResultColumn& c) {
  WireType w;
  if (!c.typeKnown) return w;
  const TypeSpec& t = c.type;
  switch (t.type) {
    case ColumnType::Int: w.kind = Wire::Int; w.size = 4; break;
    case ColumnType::SmallInt: w.kind = Wire::Int; w.size = 2; break;
    case ColumnType::TinyInt: w.kind = Wire::Int; w.size = 1; break;
    case ColumnType::BigInt: w.kind = Wire::Int; w.size = 8; break;
    case ColumnType::Bit: w.kind = Wire::Bit; w.size = 1; break;
    case ColumnType::Float: w.kind = Wire::Float; w.size = 8; break;
    case ColumnType::DateTime: w.kind = Wire::DateTime; w.size = 8; break;
    case ColumnType::Decimal:
      w.kind = Wire::Decimal;
      w.precision = t.length < 1 ? 18 : t.length > 38 ? 38 : t.length;
      w.scale = t.scale < 0 ? 0 : t.scale > w.precision ? w.precision : t.scale;
      w.size = w.precision <= 9 ? 5 : w.precision <= 19 ? 9 : w.precision <= 28 ? 13 : 17;
      break;
    case ColumnType::Char:
      w.kind = Wire::Char;
      w.size = t.length > 0 && t.length <= kMaxText ? t.length : kMaxText;
      break;
    case ColumnType::VarChar:
      w.size = t.length > 0 && t.length <= kMaxText ? t.length : kMaxText;
      break;
  }
  return w;
}

// The value as text, as the ODBC driver shows it.
std::string textOf(const Value& v) {
  char buf[64];
  switch (v.kind) {
    case ValueKind::Int: snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v.i)); return buf;
    case ValueKind::Real: snprintf(buf, sizeof buf, "%.15g", v.d); return buf;
    case ValueKind::Text: return v.s;
    case ValueKind::Null: break;
  }
  return {};
}

int64_t integerOf(const Value& v) {
  if (v.kind == ValueKind::Int) return v.i;
  if (v.kind == ValueKind::Real) return static_cast<int64_t>(v.d);
  return strtoll(v.s.c_str(), nullptr, 10);
}

double realOf(const Value& v) {
  if (v.kind == ValueKind::Int) return static_cast<double>(v.i);
  if (v.kind == ValueKind::Real) return v.d;
  return strtod(v.s.c_str(), nullptr);
}

// Days from 1900-01-01 of a date of the Gregorian calendar.
int32_t daysSince1900(int y, int m, int d) {
  // days from civil (Howard Hinnant's algorithm), shifted to 1900-01-01
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int32_t fromEpoch = era * 146097 + doe - 719468;
  constexpr int32_t k1900FromEpoch = -25567;
  return fromEpoch - k1900FromEpoch;
}

void writeText(ByteWriter& w, const WireType& t, const Value& v) {
  std::string s = textOf(v);
  if (s.size() > static_cast<size_t>(t.size)) s.resize(static_cast<size_t>(t.size));
  if (t.kind == Wire::Char) s.resize(static_cast<size_t>(t.size), ' ');
  w.u16(static_cast<uint16_t>(s.size()));
  w.bytes(std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
}

void writeValue(ByteWriter& w, const WireType& t, const Value& v) {
  const bool isNull = v.kind == ValueKind::Null;
  switch (t.kind) {
    case Wire::Char:
    case Wire::VarChar:
      if (isNull) {
        w.u16(kNullText);
      } else {
        writeText(w, t, v);
      }
      return;
    default: break;
  }
  if (isNull) {
    w.u8(0);
    return;
  }
  switch (t.kind) {
    case Wire::Int:
    case Wire::Bit: {
      uint64_t n = static_cast<uint64_t>(integerOf(v));
      w.u8(static_cast<uint8_t>(t.size));
      for (int i = 0; i < t.size; ++i) w.u8(static_cast<uint8_t>(n >> (8 * i)));
      return;
    }
    case Wire::Float: {
      double d = realOf(v);
      uint64_t bits = 0;
      static_assert(sizeof bits == sizeof d);
      memcpy(&bits, &d, sizeof d);
      w.u8(8);
      w.u64(bits);
      return;
    }
    case Wire::Decimal: {
      double scaled = std::round(realOf(v) * std::pow(10.0, t.scale));
      bool negative = scaled < 0;
      // The magnitude fits 64 bits up to precision 18; beyond, the high bytes stay 0.
      uint64_t magnitude = static_cast<uint64_t>(negative ? -scaled : scaled);
      w.u8(static_cast<uint8_t>(t.size));
      w.u8(negative ? 0 : 1);
      for (int i = 0; i < t.size - 1; ++i) w.u8(i < 8 ? static_cast<uint8_t>(magnitude >> (8 * i)) : 0);
      return;
    }
    case Wire::DateTime: {
      DateTime dt;
      if (parseDateTime(textOf(v), 121, dt) != 0) {
        w.u8(0);
        return;
      }
      int32_t days = daysSince1900(dt.year, dt.month, dt.day);
      int64_t ms = ((dt.hour * 60LL + dt.minute) * 60 + dt.second) * 1000 + dt.millis;
      // 1/300 s ticks; .003 and .007 are 1 and 2 ticks
      uint32_t ticks = static_cast<uint32_t>((ms * 3 + 5) / 10);
      w.u8(8);
      w.u32(static_cast<uint32_t>(days));
      w.u32(ticks);
      return;
    }
    default: return;
  }
}

}  // namespace

void writeColumnMetadata(std::vector<uint8_t>& out, const std::vector<ResultColumn>& columns) {
  ByteWriter w{out};
  w.u8(kTokenColMetadata);
  w.u16(static_cast<uint16_t>(columns.size()));
  for (const ResultColumn& c : columns) {
    WireType t = wireTypeOf(c);
    w.u32(0);  // user type
    w.u16(static_cast<uint16_t>((c.nullable ? kFlagNullable : 0) | kFlagUpdatableUnknown));
    switch (t.kind) {
      case Wire::Int: w.u8(kTypeIntN); w.u8(static_cast<uint8_t>(t.size)); break;
      case Wire::Bit: w.u8(kTypeBitN); w.u8(1); break;
      case Wire::Float: w.u8(kTypeFloatN); w.u8(8); break;
      case Wire::DateTime: w.u8(kTypeDateTimeN); w.u8(8); break;
      case Wire::Decimal:
        w.u8(kTypeDecimalN);
        w.u8(static_cast<uint8_t>(t.size));
        w.u8(static_cast<uint8_t>(t.precision));
        w.u8(static_cast<uint8_t>(t.scale));
        break;
      case Wire::Char:
      case Wire::VarChar:
        w.u8(t.kind == Wire::Char ? kTypeBigChar : kTypeBigVarChar);
        w.u16(static_cast<uint16_t>(t.size));
        w.bytes(kCollation);
        break;
    }
    w.bVarchar(c.label);
  }
}

void writeRow(std::vector<uint8_t>& out, const std::vector<ResultColumn>& columns, const std::vector<Value>& values) {
  ByteWriter w{out};
  w.u8(kTokenRow);
  for (size_t i = 0; i < columns.size(); ++i) {
    writeValue(w, wireTypeOf(columns[i]), i < values.size() ? values[i] : Value::null());
  }
}

void readRow(sqlite3_stmt* st, size_t count, std::vector<Value>& values) {
  values.resize(count);
  for (size_t i = 0; i < count; ++i) {
    int c = static_cast<int>(i);
    switch (sqlite3_column_type(st, c)) {
      case SQLITE_NULL: values[i] = Value::null(); break;
      case SQLITE_INTEGER: values[i] = Value::integer(sqlite3_column_int64(st, c)); break;
      case SQLITE_FLOAT: values[i] = Value::real(sqlite3_column_double(st, c)); break;
      default:
        values[i] = Value::text(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                                            static_cast<size_t>(sqlite3_column_bytes(st, c))));
        break;
    }
  }
}

}  // namespace testdb::tds
