// dulmar-sqlrun [--commits] DSN LOGIN PASSWORD [FILE]
//
// Runs the statements of FILE (or standard input) through the ODBC driver
// manager, one statement per ';'-terminated chunk or GO line. Prints each
// result row as its column values joined by '|', NULL as NULL, and stops at the
// first error with "[SQLSTATE] native: message" lines on standard error and
// exit status 1. Used by the tests and the demo to load and read tables.
// --commits: tells on standard error how many durable commits the test
// database's driver made on the database in this run.

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "odbc/driver_attributes.h"
#include "tsql/sql_script.h"

namespace {

constexpr SQLSMALLINT kStateCapacity = 6;
constexpr SQLSMALLINT kMessageCapacity = 1024;
constexpr SQLLEN kPieceCapacity = 4096;

// Frees an ODBC handle when it goes out of scope.
struct HandleGuard {
  SQLSMALLINT type;
  SQLHANDLE handle = SQL_NULL_HANDLE;
  ~HandleGuard() {
    if (handle != SQL_NULL_HANDLE) SQLFreeHandle(type, handle);
  }
};

void printDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[kStateCapacity] = {0};
    SQLCHAR message[kMessageCapacity] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length);
    if (!SQL_SUCCEEDED(rc)) break;
    fprintf(stderr, "[%s] %d: %s\n", reinterpret_cast<char*>(state), static_cast<int>(native),
            reinterpret_cast<char*>(message));
  }
}

/// Reads a whole column of the current row as text. Returns 1 for a value,
/// 0 for NULL, -1 on error.
int columnText(SQLHSTMT stmt, SQLUSMALLINT column, std::string& out) {
  out.clear();
  while (true) {
    char piece[kPieceCapacity];
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, piece, sizeof piece, &indicator);
    if (rc == SQL_NO_DATA) return 1;
    if (!SQL_SUCCEEDED(rc)) return -1;
    if (indicator == SQL_NULL_DATA) return 0;
    size_t got = indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof piece)
                     ? sizeof piece - 1
                     : static_cast<size_t>(indicator);
    out.append(piece, got);
    if (rc == SQL_SUCCESS) return 1;
  }
}

/// Prints the rows of the statement's current result. Returns 0, or 1 after printing the error.
int printRows(const HandleGuard& stmt) {
  SQLRETURN rc;
  SQLSMALLINT columns = 0;
  SQLNumResultCols(stmt.handle, &columns);
  while (columns > 0) {
    rc = SQLFetch(stmt.handle);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) {
      printDiagnostics(SQL_HANDLE_STMT, stmt.handle);
      return 1;
    }
    std::string line;
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
      std::string value;
      int got = columnText(stmt.handle, c, value);
      if (got < 0) {
        printDiagnostics(SQL_HANDLE_STMT, stmt.handle);
        return 1;
      }
      if (c > 1) line += '|';
      line += got == 0 ? std::string("NULL") : value;
    }
    line += '\n';
    fwrite(line.data(), 1, line.size(), stdout);
  }
  return 0;
}

/// Sends one batch whole and prints every result of it, errors included, as
/// sqlcmd does. Returns 0, or 1 when any of its statements failed.
int runBatch(SQLHDBC dbc, const std::string& text) {
  HandleGuard stmt{SQL_HANDLE_STMT};
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt.handle))) {
    printDiagnostics(SQL_HANDLE_DBC, dbc);
    return 1;
  }
  std::string copy = text;
  int status = 0;
  SQLRETURN rc = SQLExecDirect(stmt.handle, reinterpret_cast<SQLCHAR*>(copy.data()), SQL_NTS);
  while (rc != SQL_NO_DATA && rc != SQL_INVALID_HANDLE) {
    if (!SQL_SUCCEEDED(rc)) {
      printDiagnostics(SQL_HANDLE_STMT, stmt.handle);
      status = 1;
    } else if (printRows(stmt) != 0) {
      status = 1;
    }
    rc = SQLMoreResults(stmt.handle);
  }
  return status;
}

}  // namespace

/// Prints the durable commits the driver counted, when it is the test database's.
void printCommits(SQLHDBC dbc) {
  SQLUINTEGER commits = 0;
  if (SQL_SUCCEEDED(SQLGetConnectAttr(dbc, testdb::kAttrDurableCommits, &commits, 0, nullptr))) {
    fprintf(stderr, "dulmar-sqlrun: %lu durable commits\n", static_cast<unsigned long>(commits));
  } else {
    fprintf(stderr, "dulmar-sqlrun: the driver does not count commits\n");
  }
}

int main(int argc, char** argv) {
  const bool commits = argc > 1 && strcmp(argv[1], "--commits") == 0;
  if (commits) {
    --argc;
    ++argv;
  }
  if (argc < 4 || argc > 5) {
    fprintf(stderr, "usage: dulmar-sqlrun [--commits] DSN LOGIN PASSWORD [FILE]\n");
    return 2;
  }
  std::stringstream script;
  if (argc == 5) {
    std::ifstream in(argv[4], std::ios::binary);
    if (!in) {
      fprintf(stderr, "dulmar-sqlrun: cannot open %s\n", argv[4]);
      return 1;
    }
    script << in.rdbuf();
  } else {
    script << std::cin.rdbuf();
  }

  HandleGuard env{SQL_HANDLE_ENV};
  HandleGuard dbc{SQL_HANDLE_DBC};
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env.handle))) {
    fprintf(stderr, "dulmar-sqlrun: no ODBC environment\n");
    return 1;
  }
  SQLSetEnvAttr(env.handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), SQL_IS_INTEGER);
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env.handle, &dbc.handle))) {
    printDiagnostics(SQL_HANDLE_ENV, env.handle);
    return 1;
  }
  SQLRETURN rc = SQLConnect(dbc.handle, reinterpret_cast<SQLCHAR*>(argv[1]), SQL_NTS,
                            reinterpret_cast<SQLCHAR*>(argv[2]), SQL_NTS, reinterpret_cast<SQLCHAR*>(argv[3]), SQL_NTS);
  if (!SQL_SUCCEEDED(rc)) {
    printDiagnostics(SQL_HANDLE_DBC, dbc.handle);
    return 1;
  }
  int status = 0;
  // GO is the client's: the script is cut at GO lines and each batch goes to the server whole.
  for (const std::string& batch : testdb::splitBatches(script.str())) {
    status = runBatch(dbc.handle, batch);
    if (status) break;
  }
  fflush(stdout);
  if (commits) printCommits(dbc.handle);
  SQLDisconnect(dbc.handle);
  return status;
}
