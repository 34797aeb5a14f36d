#pragma once
// One client of the TDS server: the login, then SQL batches run by the
// engine, each answered with the token stream SQL Server would send.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tds/requests.h"
#include "sqlserver/server_error.h"
#include "engine/session.h"

namespace testdb::tds {

/// The faults a test asks the server for (the same keys a driver DSN takes).
struct Faults {
  // FailOnText: a batch whose text contains this fails (empty: never)
  std::string failOnText;
  // FailNative / FailMessage: the error it fails with
  int failNative = 50000;
  std::string failMessage;
  // BreakAfterStatements: the connection is dropped at the batch after N (0: never)
  long breakAfterStatements = 0;
};

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
  Faults faults;
};

/// What the caller does after sending the reply.
enum class Next { Continue, Close };

class Connection {
 public:
  Connection(const ServerConfig& config, uint16_t spid) : config_(config), spid_(spid) {}

  /// Answers one client message with a token stream in reply (possibly
  /// empty). Returns Continue, or Close: send the reply, then end the connection.
  Next handle(uint8_t type, std::span<const uint8_t> payload, std::vector<uint8_t>& reply);

  /// The packet size replies are cut at.
  uint32_t packetSize() const { return packetSize_; }
  uint16_t spid() const { return spid_; }

 private:
  Next login(std::span<const uint8_t> payload, std::vector<uint8_t>& reply);
  Next batch(std::span<const uint8_t> payload, std::vector<uint8_t>& reply);
  /// Runs one statement and writes its tokens. Returns 0, or -1 after an error.
  int runStatement(std::string_view text, bool last, std::vector<uint8_t>& reply);
  /// Fault injection before a batch. Returns 0 (run it), 1 (errors written), 2 (drop the connection).
  int admit(std::string_view text, std::vector<uint8_t>& reply);
  void loginFailed(std::string_view user, const ErrorList& first, std::vector<uint8_t>& reply);

  const ServerConfig& config_;
  uint16_t spid_;
  Session session_;
  bool loggedIn_ = false;
  uint32_t packetSize_ = 4096;
  long batches_ = 0;
};

/// SQL Server's severity and state of an error number, for its token.
void severityAndState(int number, uint8_t& severity, uint8_t& state);

/// Writes the errors of a failed statement as ERROR/INFO tokens.
void writeErrors(std::vector<uint8_t>& out, const ErrorList& errors);

}  // namespace testdb::tds
