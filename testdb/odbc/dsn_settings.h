#pragma once
// The keys of a data source in odbc.ini that this driver reads: where the
// database is, which login it accepts, and the faults it injects for tests.

#include <string>

namespace testdb {

struct DsnSettings {
  // Database: path of the SQLite file
  std::string file;
  // DatabaseName: the name in messages (default: the file name without extension)
  std::string databaseName;
  // Login / Password: the only credentials accepted (no Login: any)
  std::string login;
  std::string password;
  // FailStmtAllocFrom: the N-th statement allocation and all later ones fail (0: never)
  long failStmtAllocFrom = 0;
  // FailOnText: a statement whose text contains this fails (empty: never)
  std::string failOnText;
  // FailNative / FailState / FailMessage: the error it fails with
  int failNative = 50000;
  std::string failState;
  std::string failMessage;
  // BreakAfterStatements: the connection breaks after N statements (0: never)
  long breakAfterStatements = 0;
  // JournalMode / Synchronous: SQLite pragmas (default WAL / NORMAL)
  std::string journalMode = "WAL";
  std::string synchronous = "NORMAL";
};

/// Reads the keys of data source dsn through the driver manager's odbcinst.
/// Returns 0, or -1 when the DSN has no Database key.
int readDsnSettings(const std::string& dsn, DsnSettings& out);

}  // namespace testdb
