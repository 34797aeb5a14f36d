#include "tds/options.h"

#include <cerrno>
#include <cstdlib>

#include "tsql/tsql_lexer.h"

namespace testdb::tds {
namespace {

// A whole decimal number in [lo, hi]. Returns 0, or -1.
int readLong(const std::string& text, long lo, long hi, long& out) {
  if (text.empty()) return -1;
  char* end = nullptr;
  errno = 0;
  long v = strtol(text.c_str(), &end, 10);
  if (errno || *end || v < lo || v > hi) return -1;
  out = v;
  return 0;
}

std::string stemOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// Letters only, so a value can never change the PRAGMA statement.
bool isWord(const std::string& value) {
  if (value.empty()) return false;
  for (char c : value) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  }
  return true;
}

// CommitMs and CommitCountFile, as options or as the keys a driver data source takes.
int setCommitKey(const std::string& key, const std::string& value, CommitSettings& out, std::string& error) {
  if (equalsNoCase(key, "CommitCountFile")) {
    out.countFile = value;
    return 0;
  }
  if (readCommitMs(value, out.commitMs) != 0) {
    error = "the commit wait needs milliseconds from 0 to 60000";
    return -1;
  }
  return 0;
}

int setKey(const std::string& key, const std::string& value, ServerOptions& out, std::string& error,
           CommitSettings& commits) {
  ServerConfig& c = out.config;
  for (std::string_view name : faultKeyNames()) {
    if (!equalsNoCase(key, name)) continue;
    if (setFaultKey(c.faults, name, value) != 0) {
      error = "bad value for " + key + ": " + value;
      return -1;
    }
    // Statement handles and SQLSTATEs belong to the client's driver.
    if (name == "FailStmtAllocFrom" || name == "FailState") out.ignoredKeys.push_back(std::string(name));
    return 0;
  }
  if (equalsNoCase(key, "CommitMs") || equalsNoCase(key, "CommitCountFile")) {
    return setCommitKey(key, value, commits, error);
  }
  if (equalsNoCase(key, "DatabaseName")) {
    c.databaseName = value;
  } else if (equalsNoCase(key, "SessionDefaults")) {
    SessionOptions defaults;
    if (readSessionDefaults(value, defaults) != 0) {
      error = "SessionDefaults takes XACT_ABORT and IMPLICIT_TRANSACTIONS, comma-separated";
      return -1;
    }
    c.xactAbort = defaults.xactAbort;
    c.implicitTransactions = defaults.implicitTransactions;
  } else if (equalsNoCase(key, "JournalMode") || equalsNoCase(key, "Synchronous")) {
    if (!isWord(value)) {
      error = key + " takes a word";
      return -1;
    }
    (equalsNoCase(key, "JournalMode") ? c.journalMode : c.synchronous) = value;
  } else {
    error = "unknown key " + key;
    return -1;
  }
  return 0;
}

}  // namespace

const char kUsage[] =
    "usage: dulmar-testdb-server --database FILE [--login NAME --password TEXT]\n"
    "         [--listen ADDRESS] [--port N] [--port-file FILE] [--latency-ms X] [--bandwidth-mbit X]\n"
    "         [--commit-ms X] [--commit-count-file FILE] [KEY=VALUE ...]\n"
    "Serves the test database over TDS 7.4 in clear text, for tests only. Without --login any login\n"
    "is accepted. --listen defaults to 127.0.0.1, --port to a free one (written to --port-file).\n"
    "--commit-ms: each durable commit waits X ms (fractions allowed) before its answer, as a log flush;\n"
    "the durable commits are counted, written to --commit-count-file at each disconnect and told at exit.\n"
    "KEY=VALUE: DatabaseName, JournalMode, Synchronous, CommitMs and CommitCountFile (as the options),\n"
    "SessionDefaults (XACT_ABORT,IMPLICIT_TRANSACTIONS)\n"
    "and the fault keys of a driver data source (FailOnText, FailNative, FailMessage, BreakAfterStatements,\n"
    "BreakAtStatements, BreakAfterRunning, RefuseConnectAfterBreak, StallAtStatements, StallLogin, DownForMs,\n"
    "DeadlockAtStatements, BreakAfterCommits; FailStmtAllocFrom and FailState are accepted and have no effect).\n";

int parseOptions(const std::vector<std::string>& args, ServerOptions& out, std::string& error) {
  out = ServerOptions{};
  CommitSettings commits;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) == 0) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return -1;
      }
      const std::string& v = args[++i];
      long n = 0;
      if (a == "--database") {
        out.config.file = v;
      } else if (a == "--login") {
        out.config.login = v;
      } else if (a == "--password") {
        out.config.password = v;
      } else if (a == "--listen") {
        out.listen = v;
      } else if (a == "--port-file") {
        out.portFile = v;
      } else if (a == "--port") {
        if (readLong(v, 0, 65535, n) != 0) {
          error = "--port needs a number from 0 to 65535";
          return -1;
        }
        out.port = static_cast<int>(n);
      } else if (a == "--latency-ms") {
        char* end = nullptr;
        errno = 0;
        double ms = strtod(v.c_str(), &end);
        if (v.empty() || errno || *end || !(ms >= 0 && ms <= 60000)) {
          error = "--latency-ms needs milliseconds from 0 to 60000";
          return -1;
        }
        out.latencyMs = ms;
      } else if (a == "--commit-ms" || a == "--commit-count-file") {
        if (setCommitKey(a == "--commit-ms" ? "CommitMs" : "CommitCountFile", v, commits, error) != 0) return -1;
      } else if (a == "--bandwidth-mbit") {
        char* end = nullptr;
        errno = 0;
        double rate = strtod(v.c_str(), &end);
        if (v.empty() || errno || *end || !(rate > 0 && rate <= 100000)) {
          error = "--bandwidth-mbit needs Mbit/s above 0, at most 100000";
          return -1;
        }
        out.bandwidthMbit = rate;
      } else {
        error = "unknown option " + a;
        return -1;
      }
      continue;
    }
    size_t eq = a.find('=');
    if (eq == std::string::npos || eq == 0) {
      error = "expected KEY=VALUE, got " + a;
      return -1;
    }
    if (setKey(a.substr(0, eq), a.substr(eq + 1), out, error, commits) != 0) return -1;
  }
  if (out.config.file.empty()) {
    error = "--database is required";
    return -1;
  }
  if (out.config.databaseName.empty()) out.config.databaseName = stemOf(out.config.file);
  out.config.commits = std::make_shared<CommitLedger>(std::move(commits));
  return 0;
}

}  // namespace testdb::tds
