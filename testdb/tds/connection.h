#pragma once
// One client of the TDS server: the login, then SQL batches run by the
// engine, each answered with the token stream SQL Server would send.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/faults.h"
#include "engine/session.h"
#include "sqlserver/server_error.h"
#include "tds/requests.h"

namespace testdb::tds {

struct ServerConfig {
  // the SQLite file and the database name messages show
  std::string file;
  std::string databaseName;
  // the only login accepted (empty: any), compared without case; its password, with case
  std::string login;
  std::string password;
  // SQLite pragmas
  std::string journalMode = "WAL";
  std::string synchronous = "NORMAL";
  // the faults a test asks for: the keys a driver data source takes
  FaultSettings faults;
  // the durable commits of the database, shared by all connections (nullptr:
  // neither waited for nor counted); written to its count file at each disconnect
  std::shared_ptr<CommitLedger> commits;
  // SessionDefaults: options on from the start of each session
  bool xactAbort = false;
  bool implicitTransactions = false;
};

/// SQL Server numbers user sessions from 51.
constexpr uint16_t kFirstSpid = 51;

/// What the caller does after sending the reply.
enum class Next { Continue, Close };

class Connection {
 public:
  /// plan: the faults shared by all connections of the server (nullptr: none);
  /// spid: the session's id, as the packet headers carry it.
  Connection(const ServerConfig& config, std::shared_ptr<FaultPlan> plan, uint16_t spid = kFirstSpid)
      : config_(config), plan_(std::move(plan)), spid_(spid) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  /// Closes the session (what was not committed is rolled back) and writes the commit count.
  ~Connection();

  /// Answers one client message with a token stream in reply (possibly
  /// empty). Returns Continue, or Close: send the reply, then end the connection.
  Next handle(uint8_t type, std::span<const uint8_t> payload, std::vector<uint8_t>& reply);

  /// The packet size replies are cut at.
  uint32_t packetSize() const { return packetSize_; }
  /// True when the last Close is a lost link: the reply (the answers of the
  /// statements before it) goes out as an unfinished message.
  bool linkLost() const { return linkLost_; }

 private:
  /// Checks a LOGIN7 and opens the database. Returns Continue, or Close after a refusal.
  Next login(std::span<const uint8_t> payload, std::vector<uint8_t>& reply);
  /// Applies the faults to a SQL batch and runs it. Returns Continue, or Close for a lost link.
  Next batch(std::span<const uint8_t> payload, std::vector<uint8_t>& reply);
  /// Runs one statement of a batch and writes its tokens. Returns 0, or -1
  /// after an error that ends the batch.
  int runStatement(const CompiledBatch& batch, size_t index, bool last, std::vector<uint8_t>& reply);
  /// Writes `first`, then 18456 for user, then DONE with the error bit.
  void loginFailed(std::string_view user, const ErrorList& first, std::vector<uint8_t>& reply);

  const ServerConfig& config_;
  std::shared_ptr<FaultPlan> plan_;
  uint16_t spid_;
  ConnectionFaults faults_;
  Session session_;
  bool loggedIn_ = false;
  /// A statement met StallAtStatements: silent until the client cancels.
  bool stalled_ = false;
  /// The login met StallLogin: silent for good.
  bool loginStalled_ = false;
  bool linkLost_ = false;
  uint32_t packetSize_ = 4096;
};

/// SQL Server's severity and state of an error number, for its token.
void severityAndState(int number, uint8_t& severity, uint8_t& state);

/// Writes the errors of a failed statement as ERROR/INFO tokens.
void writeErrors(std::vector<uint8_t>& out, const ErrorList& errors);

}  // namespace testdb::tds
