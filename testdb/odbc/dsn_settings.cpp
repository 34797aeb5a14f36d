#include "odbc/dsn_settings.h"

#include <odbcinst.h>

#include "engine/session.h"

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

int readDsnSettings(const std::string& dsn, DsnSettings& out, std::string& badKey) {
  out = DsnSettings{};
  out.file = profileValue(dsn, "Database");
  if (out.file.empty()) return -1;
  out.databaseName = profileValue(dsn, "DatabaseName");
  if (out.databaseName.empty()) out.databaseName = stemOf(out.file);
  out.login = profileValue(dsn, "Login");
  out.password = profileValue(dsn, "Password");
  for (std::string_view key : faultKeyNames()) {
    std::string name(key);
    std::string value = profileValue(dsn, name.c_str());
    if (!value.empty() && setFaultKey(out.faults, key, value) != 0) {
      badKey = name + "=" + value;
      return -2;
    }
  }
  std::string batches = profileValue(dsn, "BatchSupport");
  if (!batches.empty()) {
    if (batches != "0" && batches != "1") {
      badKey = "BatchSupport=" + batches;
      return -2;
    }
    out.batchSupport = batches == "1";
  }
  std::string journal = profileValue(dsn, "JournalMode");
  if (!journal.empty()) out.journalMode = journal;
  std::string sync = profileValue(dsn, "Synchronous");
  if (!sync.empty()) out.synchronous = sync;
  out.requestLog = profileValue(dsn, "RequestLog");
  out.limitLog = profileValue(dsn, "LimitLog");
  std::string commitMs = profileValue(dsn, "CommitMs");
  if (!commitMs.empty() && readCommitMs(commitMs, out.commits.commitMs) != 0) {
    badKey = "CommitMs=" + commitMs;
    return -2;
  }
  out.commits.countFile = profileValue(dsn, "CommitCountFile");
  std::string defaults = profileValue(dsn, "SessionDefaults");
  if (!defaults.empty()) {
    SessionOptions options;
    if (readSessionDefaults(defaults, options) != 0) {
      badKey = "SessionDefaults=" + defaults;
      return -2;
    }
    out.xactAbort = options.xactAbort;
    out.implicitTransactions = options.implicitTransactions;
  }
  return 0;
}

}  // namespace testdb
