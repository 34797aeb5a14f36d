#include "odbc/odbc_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tsql/sql_script.h"

namespace testdb_test {

int writeDsn(const std::string& dir, const std::string& name, const std::string& file,
             const std::vector<std::string>& extra) {
  std::string cmd = std::string("DULMAR_TESTDB_DRIVER='") + DULMAR_TESTDB_DRIVER_PATH + "' bash '" +
                    DULMAR_TESTDB_DSN_SCRIPT + "' '" + dir + "' '" + name + "' '" + file + "' sa secret";
  for (const std::string& e : extra) cmd += " '" + e + "'";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char line[4096];
  int exports = 0;
  while (fgets(line, sizeof line, p)) {
    std::string s(line);
    if (s.rfind("export ", 0) != 0) continue;
    size_t eq = s.find('=');
    std::string key = s.substr(7, eq - 7);
    std::string value = s.substr(eq + 1);
    while (!value.empty() && value.back() == '\n') value.pop_back();
    setenv(key.c_str(), value.c_str(), 1);
    ++exports;
  }
  return pclose(p) == 0 && exports == 2 ? 0 : -1;
}

std::vector<Diag> diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<Diag> out;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = {0};
    SQLCHAR message[1024] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length))) break;
    out.push_back(Diag{reinterpret_cast<char*>(state), static_cast<int>(native), reinterpret_cast<char*>(message)});
  }
  return out;
}

Connection::~Connection() {
  if (connected_) SQLDisconnect(dbc_);
  if (dbc_) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

SQLRETURN Connection::open(const std::string& dsn, const std::string& user, const std::string& password) {
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), SQL_IS_INTEGER);
  SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
  std::string d = dsn, u = user, p = password;
  SQLRETURN rc = SQLConnect(dbc_, odbcText(d), SQL_NTS, odbcText(u), SQL_NTS, odbcText(p), SQL_NTS);
  connected_ = SQL_SUCCEEDED(rc);
  diag_ = diagnostics(SQL_HANDLE_DBC, dbc_);
  return rc;
}

SQLRETURN Connection::exec(const std::string& sql, std::vector<std::string>* rows) {
  SQLHSTMT stmt = SQL_NULL_HANDLE;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
  if (!SQL_SUCCEEDED(rc)) {
    diag_ = diagnostics(SQL_HANDLE_DBC, dbc_);
    return rc;
  }
  std::string text = sql;
  rc = SQLExecDirect(stmt, odbcText(text), SQL_NTS);
  diag_ = diagnostics(SQL_HANDLE_STMT, stmt);
  SQLSMALLINT columns = 0;
  if (SQL_SUCCEEDED(rc)) SQLNumResultCols(stmt, &columns);
  while (columns > 0) {
    SQLRETURN f = SQLFetch(stmt);
    if (f == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(f)) {
      diag_ = diagnostics(SQL_HANDLE_STMT, stmt);
      rc = f;
      break;
    }
    std::string line;
    for (SQLUSMALLINT c = 1; c <= columns; ++c) {
      char buf[1024];
      SQLLEN ind = 0;
      SQLGetData(stmt, c, SQL_C_CHAR, buf, sizeof buf, &ind);
      if (c > 1) line += '|';
      line += ind == SQL_NULL_DATA ? std::string("NULL") : std::string(buf);
    }
    if (rows) rows->push_back(line);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return rc;
}

std::vector<std::string> Connection::rows(const std::string& sql) {
  std::vector<std::string> out;
  SQLRETURN rc = exec(sql, &out);
  if (!SQL_SUCCEEDED(rc)) out.push_back("ERROR " + (diag_.empty() ? std::string() : diag_[0].message));
  return out;
}

int loadScript(Connection& c, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return -1;
  std::stringstream text;
  text << in.rdbuf();
  for (const std::string& statement : testdb::splitScript(text.str())) {
    if (!SQL_SUCCEEDED(c.exec(statement))) return -1;
  }
  return 0;
}

std::string tempDir() {
  char pattern[] = "/tmp/dulmar-testdb.XXXXXX";
  const char* d = mkdtemp(pattern);
  return d ? d : "";
}

namespace {
std::string resultOf(SQLHSTMT stmt, SQLRETURN rc, bool withState) {
  if (rc == SQL_ERROR) {
    std::string out = "error";
    std::string state;
    for (const Diag& d : diagnostics(SQL_HANDLE_STMT, stmt)) {
      out += " " + std::to_string(d.native);
      if (state.empty()) state = d.state;
    }
    return withState ? out + " " + state : out;
  }
  SQLSMALLINT columns = 0;
  SQLNumResultCols(stmt, &columns);
  if (columns == 0) {
    SQLLEN count = 0;
    SQLRowCount(stmt, &count);
    return "count " + std::to_string(count);
  }
  std::string out = "rows";
  char value[64];
  SQLLEN length = 0;
  while (SQLFetch(stmt) == SQL_SUCCESS) {
    SQLGetData(stmt, 1, SQL_C_CHAR, value, sizeof value, &length);
    out += std::string(" ") + (length == SQL_NULL_DATA ? "NULL" : value);
  }
  return out;
}
}  // namespace

std::vector<std::string> requestResults(const Connection& c, const std::string& sql, bool withState) {
  SQLHSTMT stmt = SQL_NULL_HANDLE;
  SQLAllocHandle(SQL_HANDLE_STMT, c.dbc(), &stmt);
  std::string text = sql;
  std::vector<std::string> out;
  SQLRETURN rc = SQLExecDirect(stmt, odbcText(text), SQL_NTS);
  while (rc != SQL_NO_DATA && out.size() < 20) {
    out.push_back(resultOf(stmt, rc, withState));
    rc = SQLMoreResults(stmt);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return out;
}

}  // namespace testdb_test
