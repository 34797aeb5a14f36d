#pragma once
// A session on a database file of its own for tests of the engine: runs T-SQL
// and hands back rows as text, or the errors SQL Server would give.

#include <string>
#include <vector>

#include "engine/session.h"

namespace testdb_test {

class TestDatabase {
 public:
  /// A fresh database file in a temporary folder of its own (removed on destruction).
  TestDatabase();
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  /// Opens a session on the file, with options' other fields (a commit
  /// ledger, session defaults). Returns 0, or -1.
  int open(testdb::Session& session, testdb::SessionOptions options = {}) const;
  /// Runs sql on the test's own session. Returns its errors (empty on success).
  testdb::ErrorList run(const std::string& sql);
  /// Rows of a query that must succeed, columns joined by '|', NULL as NULL.
  std::vector<std::string> rows(const std::string& sql);
  /// Rows of a query on another session.
  static std::vector<std::string> rowsOf(testdb::Session& session, const std::string& sql);
  /// Runs every statement of a script file (split as dulmar-sqlrun splits it). Returns 0, or -1.
  int load(const std::string& path);

  testdb::Session& session() { return session_; }
  const std::string& file() const { return file_; }

 private:
  std::string dir_;
  std::string file_;
  testdb::Session session_;
};

/// "native state message" of each error, for comparing whole lists.
std::vector<std::string> describe(const testdb::ErrorList& errors);

}  // namespace testdb_test
