#pragma once
// The statements dulmar sends, as printf formats with its own spacing, for
// tests that check the test database answers them as SQL Server does.

#include <cstdarg>
#include <cstdio>
#include <string>

#include "db/statements.h"

namespace testdb_test {

// The program's own texts (src/db/statements.h), so a change there can never
// leave these tests checking a stale copy.
constexpr const char* kBadgeLookup = kBadgeLookupStatement;
constexpr const char* kTenantLookup = kSchemaLookupStatement;
constexpr const char* kCostCentreLookup = kCostCentreLookupStatement;
constexpr const char* kBookingInsert = kBookingInsertStatement;
constexpr const char* kTextLookup = kErrorTextLookupStatement;
constexpr const char* kLogInsert = kRunLogInsertStatement;

/// A statement from one of the formats above (bounded; tests only).
__attribute__((format(printf, 1, 2))) inline std::string fmt(const char* format, ...) {
  char buf[2048];
  va_list args;
  va_start(args, format);
  vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

/// The badge lookup for a badge on a day.
inline std::string badge(const char* number, const char* day) { return fmt(kBadgeLookup, number, day, day); }

}  // namespace testdb_test
