#pragma once
// Helpers for tests that reach the driver through unixODBC's driver manager:
// a data source directory written by testdb/dsn, connections and statements.

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

namespace testdb_test {

struct Diag {
  // SQLSTATE
  std::string state;
  // native error
  int native = 0;
  // message as the application sees it
  std::string message;
};

/// Runs testdb/dsn for a data source in dir (extra KEY=VALUE pairs) and points
/// this process's driver manager there. Returns 0, or -1.
int writeDsn(const std::string& dir, const std::string& name, const std::string& file,
             const std::vector<std::string>& extra = {});

/// A connection through the driver manager; closed and freed on destruction.
class Connection {
 public:
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();
  /// Connects. Returns the SQLConnect result; diag() holds its records.
  SQLRETURN open(const std::string& dsn, const std::string& user = "sa", const std::string& password = "secret");
  /// Runs a statement to its end. Returns the SQLExecDirect result (rows in `rows`,
  /// columns joined by '|', NULL as NULL; records in diag()).
  SQLRETURN exec(const std::string& sql, std::vector<std::string>* rows = nullptr);
  /// The rows of a query that must succeed, each as one '|'-joined line.
  std::vector<std::string> rows(const std::string& sql);
  /// The records of the last failed call.
  const std::vector<Diag>& diag() const { return diag_; }
  SQLHDBC dbc() const { return dbc_; }

 private:
  SQLHENV env_ = SQL_NULL_HANDLE;
  SQLHDBC dbc_ = SQL_NULL_HANDLE;
  bool connected_ = false;
  std::vector<Diag> diag_;
};

/// A text as the ODBC API takes it (the API is not const-correct).
inline SQLCHAR* odbcText(std::string& s) { return reinterpret_cast<SQLCHAR*>(s.data()); }

/// All diagnostic records of a handle.
std::vector<Diag> diagnostics(SQLSMALLINT type, SQLHANDLE handle);

/// Loads a script file (split as dulmar-sqlrun splits it). Returns 0, or -1.
int loadScript(Connection& c, const std::string& path);

/// A fresh temporary directory.
std::string tempDir();

/// Every result of a request, walked with SQLMoreResults as a client walks
/// them (at most 20), then the statement freed: "count N", "rows A B" (the
/// first column of each row, NULL as NULL) or "error NATIVE..." (every
/// record's native error, then the first record's SQLSTATE when withState).
/// Returns them.
std::vector<std::string> requestResults(const Connection& c, const std::string& sql, bool withState = false);

}  // namespace testdb_test
