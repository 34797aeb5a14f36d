// The test database on the program's hot path: the badge, tenant and
// cost-centre lookups and the booking insert, with the program's statement
// texts (src/db/statements.h, so they can never go stale here), through unixODBC's driver manager, against 100,000 badges and
// 100,000 workstations. Every insert is committed on its own (autocommit).
//
//   build-X/testdb/testdb_bench [--benchmark_min_time=2]

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "db/statements.h"
#include "odbc/odbc_test_support.h"

using namespace testdb_test;

namespace {

constexpr int kMasterRows = 100000;
/// The booking day of every lookup.
constexpr char kDay[] = "2007-01-25 00:00:00";
constexpr size_t kTextCapacity = 1024;
constexpr SQLLEN kColumnCapacity = 20;

std::string g_dir;

// Creates the schema and the master data once, in one transaction.
bool prepareDatabase() {
  if (!g_dir.empty()) return true;
  g_dir = tempDir();
  if (writeDsn(g_dir + "/odbc", "bench", g_dir + "/bench.db") != 0) return false;
  Connection c;
  if (c.open("bench") != SQL_SUCCESS) return false;
  if (loadScript(c, std::string(DULMAR_SQL_DIR) + "/schema.sql") != 0) return false;
  SQLSetConnectAttr(c.dbc(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  c.exec("INSERT INTO KVSYSTEM.Kvs112Mnd (MndLiz, MndNum, MndKon, MndSch) VALUES (1, 1, 0, 'MUSTER')");
  char sql[kTextCapacity];
  for (int i = 0; i < kMasterRows; ++i) {
    snprintf(sql, sizeof sql,
             "INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswGVo, AswGbi, AswPnr, AswLiz, AswMnd) "
             "VALUES ('%010d', '2006-01-01 00:00:00', NULL, '%08d', '1', '1')",
             i, i);
    if (c.exec(sql) != SQL_SUCCESS) return false;
    snprintf(sql, sizeof sql, "INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('%d', 'KST%d')", i, i);
    if (c.exec(sql) != SQL_SUCCESS) return false;
  }
  SQLEndTran(SQL_HANDLE_DBC, c.dbc(), SQL_COMMIT);
  return true;
}

// One lookup as the program makes it: allocate, execute, bind, fetch once, free.
bool lookup(SQLHDBC dbc, char* sql, int columns) {
  SQLHSTMT stmt = SQL_NULL_HANDLE;
  if (SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt) == SQL_ERROR) return false;
  bool found = false;
  if (SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(sql), SQL_NTS) != SQL_ERROR) {
    char values[3][kColumnCapacity];
    SQLLEN indicator = 0;
    for (int c = 0; c < columns; ++c) {
      SQLBindCol(stmt, static_cast<SQLUSMALLINT>(c + 1), SQL_C_CHAR, values[c], kColumnCapacity, &indicator);
    }
    found = SQL_SUCCEEDED(SQLFetch(stmt));
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return found;
}

void BM_BadgeLookup(benchmark::State& state) {
  if (!prepareDatabase()) return state.SkipWithError("database setup failed");
  Connection c;
  c.open("bench");
  char sql[kTextCapacity];
  int i = 0;
  for (auto _ : state) {
    int n = (i++ * 7919) % kMasterRows;
    char badge[16];
    snprintf(badge, sizeof badge, "%010d", n);
    snprintf(sql, sizeof sql, kBadgeLookupStatement, badge, kDay, kDay);
    if (!lookup(c.dbc(), sql, 3)) return state.SkipWithError("badge not found");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BadgeLookup);

void BM_TenantAndCostCentreLookup(benchmark::State& state) {
  if (!prepareDatabase()) return state.SkipWithError("database setup failed");
  Connection c;
  c.open("bench");
  char tenant[kTextCapacity];
  snprintf(tenant, sizeof tenant, kSchemaLookupStatement, "1", "1");
  char sql[kTextCapacity];
  int i = 0;
  for (auto _ : state) {
    char workstation[16];
    snprintf(workstation, sizeof workstation, "%d", (i++ * 7919) % kMasterRows);
    snprintf(sql, sizeof sql, kCostCentreLookupStatement, workstation);
    if (!lookup(c.dbc(), tenant, 1) || !lookup(c.dbc(), sql, 1)) return state.SkipWithError("lookup failed");
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_TenantAndCostCentreLookup);

void BM_BookingInsert(benchmark::State& state) {
  if (!prepareDatabase()) return state.SkipWithError("database setup failed");
  Connection c;
  c.open("bench");
  static int next = 0;
  char sql[kTextCapacity];
  for (auto _ : state) {
    int n = next++;
    char pnr[16], day[32], minute[32], costCentre[24];
    snprintf(pnr, sizeof pnr, "%08d", n % kMasterRows);
    snprintf(day, sizeof day, "2007-01-%02d 00:00:00", 1 + n / kMasterRows % 28);
    snprintf(minute, sizeof minute, "2007-01-%02d %02d:%02d:00", 1 + n / kMasterRows % 28, n / 60 % 24, n % 60);
    snprintf(costCentre, sizeof costCentre, "KST%d", n);
    snprintf(sql, sizeof sql, kBookingInsertStatement, pnr, day, minute, "KSW", costCentre);
    SQLHSTMT stmt = SQL_NULL_HANDLE;
    SQLAllocHandle(SQL_HANDLE_STMT, c.dbc(), &stmt);
    SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(sql), SQL_NTS);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    if (rc == SQL_ERROR) return state.SkipWithError("insert failed");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BookingInsert);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!g_dir.empty()) std::filesystem::remove_all(g_dir);
  return 0;
}
