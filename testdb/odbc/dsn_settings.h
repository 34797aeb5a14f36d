#pragma once
// The keys of a data source in odbc.ini that this driver reads: where the
// database is, which login it accepts, and the faults it injects for tests.

#include <string>

#include "engine/commits.h"
#include "engine/faults.h"

namespace testdb {

struct DsnSettings {
  // Database: path of the SQLite file
  std::string file;
  // DatabaseName: the name in messages (default: the file name without extension)
  std::string databaseName;
  // Login / Password: the only credentials accepted (no Login: any)
  std::string login;
  std::string password;
  // the faults it injects for tests (FailOnText, BreakAtStatements, ...)
  FaultSettings faults;
  // BatchSupport=0: the driver says it takes no batches and refuses a request
  // of several statements, so a client's fallback can be tested
  bool batchSupport = true;
  // JournalMode / Synchronous: SQLite pragmas (default WAL / NORMAL)
  std::string journalMode = "WAL";
  std::string synchronous = "NORMAL";
  // RequestLog: a file every SQLExecDirect text is appended to (none: no log)
  std::string requestLog;
  // LimitLog: a file each login's SQL_ATTR_LOGIN_TIMEOUT and each execution's
  // SQL_ATTR_QUERY_TIMEOUT is appended to, a line each (none: no log)
  std::string limitLog;
  // CommitMs and CommitCountFile: what a durable commit waits, where the count goes
  CommitSettings commits;
  // SessionDefaults=XACT_ABORT,IMPLICIT_TRANSACTIONS: on from the start of each session
  bool xactAbort = false;
  bool implicitTransactions = false;
};

/// Reads the keys of data source dsn through the driver manager's odbcinst.
/// Returns 0, -1 when the DSN has no Database key, or -2 with the key whose
/// value is not what it takes in badKey.
int readDsnSettings(const std::string& dsn, DsnSettings& out, std::string& badKey);

}  // namespace testdb
