#include "tds/connection.h"

#include <cstdio>

#include "tds/results.h"
#include "tds/tokens.h"
#include "tds/wire.h"
#include "tsql/sql_script.h"

namespace testdb::tds {
namespace {

// SQL Server's "protocol stream is incorrect" error.
constexpr int kProtocolError = 4002;
// A user-defined error: what the server says of requests it does not take.
constexpr int kRefused = 50000;

struct Severity {
  int number;
  uint8_t severity;
  uint8_t state;
};

// Severity and state SQL Server gives these errors; unlisted ones get 16 and 1.
constexpr Severity kSeverities[] = {
    {102, 15, 1},  {105, 15, 1},  {156, 15, 1},   {207, 16, 1},  {208, 16, 1},   {515, 16, 2},   {547, 16, 0},
    {2601, 14, 1}, {2627, 14, 1}, {3621, 0, 0},   {4060, 11, 1}, {8152, 16, 14}, {18456, 14, 1}, {241, 16, 1},
    {242, 16, 3},  {245, 16, 1},  {1222, 16, 56}, {5701, 0, 2},  {5703, 0, 1},   {1205, 13, 51},
};

void message(std::vector<uint8_t>& out, int number, std::string_view text, int line = 0) {
  TokenMessage m;
  m.number = number;
  severityAndState(number, m.severity, m.state);
  m.text = text;
  if (line > 0) m.line = line;
  writeMessage(out, m);
}

}  // namespace

void severityAndState(int number, uint8_t& severity, uint8_t& state) {
  severity = 16;
  state = 1;
  for (const Severity& s : kSeverities) {
    if (s.number == number) {
      severity = s.severity;
      state = s.state;
    }
  }
}

void writeErrors(std::vector<uint8_t>& out, const ErrorList& errors) {
  for (const ServerError& e : errors) message(out, e.native, e.message, e.line);
}

Connection::~Connection() {
  session_.close();
  if (loggedIn_ && config_.commits) config_.commits->writeTotal();
}

Next Connection::handle(uint8_t type, std::span<const uint8_t> payload, std::vector<uint8_t>& reply) {
  reply.clear();
  switch (type) {
    case kPrelogin: {
      Prelogin p;
      if (loggedIn_ || parsePrelogin(payload, p) != 0) return Next::Close;
      reply = preloginReply();
      return Next::Continue;
    }
    case kLogin7:
      if (loggedIn_ || loginStalled_) return Next::Close;
      // A server that accepts the connection and never answers the login.
      if (plan_ && plan_->loginStalls()) {
        loginStalled_ = true;
        return Next::Continue;
      }
      return login(payload, reply);
    case kAttention:
      // Every reply is complete before the next request is read, so there is
      // nothing left to cancel: acknowledge. A stalled statement is given up,
      // as a server waiting on a lock gives up its wait.
      stalled_ = false;
      writeDone(reply, kDoneAttention);
      return loggedIn_ ? Next::Continue : Next::Close;
    default:
      break;
  }
  if (!loggedIn_) return Next::Close;
  // Stalled: nothing is answered until the client cancels.
  if (stalled_) return Next::Continue;
  switch (type) {
    case kSqlBatch:
      return batch(payload, reply);
    case kRpc:
      message(reply, kRefused,
              "This test server takes SQL batches only: RPC requests (sp_executesql, prepared statements, "
              "{call}) are refused.");
      writeDone(reply, kDoneError);
      return Next::Continue;
    case kTransactionManager:
      message(reply, kRefused, "This test server runs in autocommit only: transaction manager requests are refused.");
      writeDone(reply, kDoneError);
      return Next::Continue;
    default:
      return Next::Close;
  }
}

void Connection::loginFailed(std::string_view user, const ErrorList& first, std::vector<uint8_t>& reply) {
  writeErrors(reply, first);
  ServerError e = serverError(18456, {user});
  message(reply, e.native, e.message);
  writeDone(reply, kDoneError);
}

Next Connection::login(std::span<const uint8_t> payload, std::vector<uint8_t>& reply) {
  Login7 l;
  if (parseLogin7(payload, l) != 0) return Next::Close;
  // A server that a fault took down answers nobody.
  if (faults_.connect(plan_) != 0) return Next::Close;
  uint32_t version = negotiatedVersion(l.tdsVersion);
  if (version == 0) {
    char text[128];
    snprintf(text, sizeof text, "This test server speaks TDS 7.2 to 7.4; the client asked for version 0x%08x.",
             static_cast<unsigned>(l.tdsVersion));
    message(reply, kProtocolError, text);
    writeDone(reply, kDoneError);
    return Next::Close;
  }
  // Logins compare without case, passwords with it, as on SQL Server.
  if (!config_.login.empty() && (!equalsNoCase(l.userName, config_.login) || l.password != config_.password)) {
    loginFailed(l.userName, {}, reply);
    return Next::Close;
  }
  if (!l.database.empty() && !equalsNoCase(l.database, config_.databaseName)) {
    loginFailed(l.userName, {serverError(4060, {l.database})}, reply);
    return Next::Close;
  }
  SessionOptions options;
  options.file = config_.file;
  options.databaseName = config_.databaseName;
  options.journalMode = config_.journalMode;
  options.synchronous = config_.synchronous;
  options.commits = config_.commits;
  options.xactAbort = config_.xactAbort;
  options.implicitTransactions = config_.implicitTransactions;
  ErrorList errors;
  if (session_.open(options, errors) != 0) {
    loginFailed(l.userName, errors, reply);
    return Next::Close;
  }
  uint32_t size = l.packetSize == 0 ? kDefaultPacketSize : l.packetSize;
  if (size < kMinPacketSize) size = kMinPacketSize;
  if (size > kMaxPacketSize) size = kMaxPacketSize;
  char sizeText[16];
  snprintf(sizeText, sizeof sizeText, "%u", static_cast<unsigned>(size));

  const std::string& db = config_.databaseName;
  writeEnvChange(reply, kEnvDatabase, db, "master");
  std::string changed = "Changed database context to '" + db + "'.";
  message(reply, 5701, changed);
  writeCollationChange(reply);
  writeEnvChange(reply, kEnvLanguage, "us_english", "");
  message(reply, 5703, "Changed language setting to us_english.");
  writeLoginAck(reply, version);
  writeEnvChange(reply, kEnvPacketSize, sizeText, sizeText);
  writeDone(reply, 0);
  packetSize_ = size;
  loggedIn_ = true;
  return Next::Continue;
}

Next Connection::batch(std::span<const uint8_t> payload, std::vector<uint8_t>& reply) {
  std::string text;
  if (parseSqlBatch(payload, text) != 0) {
    message(reply, kProtocolError,
            "The incoming tabular data stream (TDS) protocol stream is incorrect. The stream ended unexpectedly.");
    writeDone(reply, kDoneError);
    return Next::Close;
  }
  if (faults_.broken()) return Next::Close;
  // The engine refuses a batch with a syntax error whole, before any of it
  // runs or counts; each statement then gets a DONE of its own.
  CompiledBatch batch;
  ErrorList errors;
  if (session_.compileBatch(text, batch, errors) != 0) {
    writeErrors(reply, errors);
    writeDone(reply, kDoneError);
    return Next::Continue;
  }
  const std::vector<StatementSpan>& statements = batch.statements;
  if (statements.empty()) {
    writeDone(reply, 0);
    return Next::Continue;
  }
  for (size_t i = 0; i < statements.size(); ++i) {
    const bool last = i + 1 == statements.size();
    const StatementSpan& statement = statements[i];
    std::string_view statementText =
        std::string_view(text).substr(statement.textBegin, statement.textEnd - statement.textBegin);
    ServerError injected;
    const FaultVerdict verdict =
        batch.sessionControl[i] ? faults_.beforeSessionControl() : faults_.beforeStatement(statementText, injected);
    switch (verdict) {
      case FaultVerdict::Run:
        break;
      case FaultVerdict::Fail: {
        ErrorList failed{injected};
        addTerminationRecord(failed);
        for (ServerError& e : failed) e.line = statement.line;
        writeErrors(reply, failed);
        bool ends = errorActionOf(injected.native) == ErrorAction::Batch;
        writeDone(reply, static_cast<uint16_t>(kDoneError | (last || ends ? 0 : kDoneMore)));
        if (ends) return Next::Continue;
        continue;
      }
      case FaultVerdict::Break:
        // A lost link: what the statements before it answered is on its way,
        // then the socket closes in mid-message.
        linkLost_ = true;
        return Next::Close;
      case FaultVerdict::BreakAfterRun: {
        std::vector<uint8_t> lost;
        runStatement(batch, i, true, lost);
        linkLost_ = true;
        return Next::Close;
      }
      case FaultVerdict::Deadlock: {
        ErrorList failed;
        session_.deadlockVictim(spid_, failed);
        for (ServerError& e : failed) e.line = statement.line;
        writeErrors(reply, failed);
        writeDone(reply, kDoneError);
        return Next::Continue;
      }
      case FaultVerdict::Stall:
        // The connection stays open and silent from this statement on; it
        // is not run, and what the statements before it answered waits for
        // the client's cancel with the rest.
        stalled_ = true;
        return Next::Continue;
    }
    const size_t answered = reply.size();
    const long committed = session_.durableCommits();
    const int rc = runStatement(batch, i, last, reply);
    if (session_.durableCommits() != committed && faults_.afterCommit()) {
      // Committed, and the link lost before this statement's answer went out.
      reply.resize(answered);
      linkLost_ = true;
      return Next::Close;
    }
    if (rc != 0) return Next::Continue;
  }
  return Next::Continue;
}

int Connection::runStatement(const CompiledBatch& batch, size_t index, bool last, std::vector<uint8_t>& reply) {
  const uint16_t more = last ? 0 : kDoneMore;
  Execution exec;
  ErrorList errors;
  ErrorAction action = ErrorAction::Statement;
  if (session_.runStatement(batch, index, exec, errors, action) != 0) {
    writeErrors(reply, errors);
    // After a statement-ending error the batch goes on, and says so.
    writeDone(reply, static_cast<uint16_t>(kDoneError | (action == ErrorAction::Batch ? 0 : more)));
    return action == ErrorAction::Batch ? -1 : 0;
  }
  if (!exec.hasResultSet) {
    if (exec.rowCount >= 0) {
      writeDone(reply, kDoneCount | more, static_cast<uint64_t>(exec.rowCount));
    } else {
      writeDone(reply, more);
    }
    return 0;
  }
  writeColumnMetadata(reply, exec.columns);
  std::vector<Value> values;
  uint64_t rows = 0;
  int rc;
  while ((rc = session_.next(exec, errors)) == 1) {
    readRow(exec.stmt, exec.columns.size(), values);
    writeRow(reply, exec.columns, values);
    ++rows;
  }
  session_.release(exec);
  if (rc < 0) {
    for (ServerError& e : errors) {
      if (e.line == 0) e.line = batch.statements[index].line;
    }
    writeErrors(reply, errors);
    bool ends = session_.xactAbort() || errorActionOf(errors.empty() ? 0 : errors.front().native) == ErrorAction::Batch;
    writeDone(reply, static_cast<uint16_t>(kDoneError | kDoneCount | (ends ? 0 : more)), rows);
    return ends ? -1 : 0;
  }
  writeDone(reply, kDoneCount | more, rows);
  return 0;
}

}  // namespace testdb::tds
