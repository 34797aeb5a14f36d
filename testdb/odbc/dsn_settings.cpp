#include "odbc/dsn_settings.h"

#include <odbcinst.h>

#include <cstdlib>

namespace testdb {
namespace {

constexpr int kValueCapacity = 1024;

std::string profileValue(const std::string& dsn, const char* key) {
  char buf[kValueCapacity] = {0};
  int n = SQLGetPrivateProfileString(dsn.c_str(), key, "", buf, sizeof buf, "odbc.ini");
  if (n <= 0) return {};
  return std::string(buf);
}

std::string stemOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

int readDsnSettings(const std::string& dsn, DsnSettings& out) {
  out = DsnSettings{};
  out.file = profileValue(dsn, "Database");
  if (out.file.empty()) return -1;
  out.databaseName = profileValue(dsn, "DatabaseName");
  if (out.databaseName.empty()) out.databaseName = stemOf(out.file);
  out.login = profileValue(dsn, "Login");
  out.password = profileValue(dsn, "Password");
  out.failStmtAllocFrom = atol(profileValue(dsn, "FailStmtAllocFrom").c_str());
  out.failOnText = profileValue(dsn, "FailOnText");
  std::string native = profileValue(dsn, "FailNative");
  if (!native.empty()) out.failNative = atoi(native.c_str());
  out.failState = profileValue(dsn, "FailState");
  out.failMessage = profileValue(dsn, "FailMessage");
  out.breakAfterStatements = atol(profileValue(dsn, "BreakAfterStatements").c_str());
  std::string journal = profileValue(dsn, "JournalMode");
  if (!journal.empty()) out.journalMode = journal;
  std::string sync = profileValue(dsn, "Synchronous");
  if (!sync.empty()) out.synchronous = sync;
  return 0;
}

}  // namespace testdb
