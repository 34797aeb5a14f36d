#pragma once
// The statements dulmar sends, as printf formats with its own spacing, for
// tests that check the test database answers them as SQL Server does.

#include <cstdarg>
#include <cstdio>
#include <string>

namespace testdb_test {

// badge number, day, day ("yyyy-mm-dd hh:mi:ss")
constexpr const char* kBadgeLookup =
    "SELECT AswPnr, AswLiz, AswMnd  FROM KVSYSTEM.Kvs301Asw  WHERE AswNum = '%s'   AND  AswGVo <= "
    "convert(DATETIME, '%s',120)   AND (AswGbi >= convert(DATETIME, '%s',120)   OR AswGbi IS NULL)";
// licence number, tenant number (as digits)
constexpr const char* kTenantLookup = " SELECT MndSch  FROM KVSYSTEM.Kvs112Mnd  WHERE MndLiz = %s  AND MndNum = %s  AND MndKon = 0 ";
// workstation number
constexpr const char* kCostCentreLookup = " SELECT KstNum  FROM O1003KSTSTELLE  WHERE KstApz= '%s' ";
// personnel number, day, day and time, change identifier, cost centre
constexpr const char* kBookingInsert =
    "INSERT INTO KVS321BCH  (BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst)  VALUES('%s',  "
    "convert(DATETIME,'%s', 120),  convert(DATETIME,'%s', 120),  25, '%s','%s')";
// error number
constexpr const char* kTextLookup =
    "SELECT FtxDok   FROM Kvsystem.Kvs102Whl  WHERE FtxNumSpr = 8    AND FtxWhl = %ld    AND FtxSpr = 1";
// program, station, parameter, schema, personnel number, day (yyyymmdd), module, function,
// table error, table text, system error, system text, message, type
constexpr const char* kLogInsert =
    "INSERT INTO KvSystem.Kvs001Log  (LogPrg, LogStz, LogPrm, LogSch,   LogPnr, LogDtm, LogMod, LogFkt,   "
    "LogTErr, LogTTxt, LogSErr, LogSTxt,   LogMsg, LogTyp, LogDat)  VALUES    ('%s', '%s', '%s', '%s',     "
    "'%s', convert(DATETIME,'%ld', 112), '%s', '%s',     %ld, '%s', %ld, '%s',     '%s', %ld, CURRENT_TIMESTAMP) ";

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
