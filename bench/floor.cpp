// dulmar-bench-floor DSN LOGIN PASSWORD STATEMENT_LOG
//
// The floor of a dulmar run: the very requests the run sent (as written by
// the statement log, zero-byte separated; a request holds one statement or
// many), sent again in the same order through the same driver manager and
// driver, with nothing else around them. Each request gets what the program
// gives one: a statement handle, the execution, every result read (a result
// set's columns bound as text and fetched to its end, then the next result
// until there is none), and the handle freed. Prints the number of requests
// and the seconds from the connect to the last request; the log is read into
// memory beforehand.

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {
/// Capacity of a bound column, as the program binds its lookup columns.
constexpr SQLLEN kColumnCapacity = 256;
/// Most columns any of the program's queries returns.
constexpr int kMaxColumns = 3;

/// Reads the file at path into out. Returns 0, or -1.
int readWholeFile(const char* path, std::string& out) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path, "rb"), std::fclose);
  if (!f) return -1;
  char chunk[1 << 16];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) out.append(chunk, n);
  return std::ferror(f.get()) ? -1 : 0;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: dulmar-bench-floor DSN LOGIN PASSWORD STATEMENT_LOG\n");
    return 2;
  }
  std::string log;
  if (readWholeFile(argv[4], log) != 0) {
    std::fprintf(stderr, "dulmar-bench-floor: cannot read %s\n", argv[4]);
    return 1;
  }
  std::vector<size_t> requests;
  for (size_t at = 0; at < log.size();) {
    size_t end = log.find('\0', at);
    if (end == std::string::npos) break;  // a record without its end is not whole
    requests.push_back(at);
    at = end + 1;
  }

  auto start = std::chrono::steady_clock::now();
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env) == SQL_ERROR) return 1;
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), SQL_IS_INTEGER);
  if (SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc) == SQL_ERROR) return 1;
  auto text = [](const char* s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s)); };
  if (SQLConnect(dbc, text(argv[1]), SQL_NTS, text(argv[2]), SQL_NTS, text(argv[3]), SQL_NTS) == SQL_ERROR) {
    std::fprintf(stderr, "dulmar-bench-floor: cannot connect to %s\n", argv[1]);
    return 1;
  }

  char columns[kMaxColumns][kColumnCapacity];
  SQLLEN indicators[kMaxColumns];
  long failed = 0;
  for (size_t offset : requests) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt) == SQL_ERROR) return 1;
    SQLRETURN rc = SQLExecDirect(stmt, text(log.c_str() + offset), SQL_NTS);
    // A result per statement: a driver that never ends the results is not
    // followed past them.
    size_t results = 1;
    for (const char* c = log.c_str() + offset; *c != '\0'; ++c) results += *c == ';';
    for (size_t round = 0; round <= results; ++round) {
      if (rc == SQL_ERROR) {
        ++failed;
      } else if (rc != SQL_NO_DATA) {
        SQLSMALLINT count = 0;
        SQLNumResultCols(stmt, &count);
        for (int c = 0; c < count && c < kMaxColumns; ++c)
          SQLBindCol(stmt, static_cast<SQLUSMALLINT>(c + 1), SQL_C_CHAR, columns[c], kColumnCapacity, &indicators[c]);
        if (count > 0)
          while (SQL_SUCCEEDED(SQLFetch(stmt))) {
          }
        SQLFreeStmt(stmt, SQL_UNBIND);
      }
      rc = SQLMoreResults(stmt);
      if (rc == SQL_NO_DATA) break;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("requests %zu failed %ld seconds %.3f\n", requests.size(), failed, seconds);
  return 0;
}
