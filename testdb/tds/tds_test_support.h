#pragma once
// For the server's tests: client messages built as a client builds them, and
// a reader of the reply token stream that knows nothing of the server's code.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace testdb::tds::test {

struct LoginFields {
  uint32_t tdsVersion = 0x74000004;
  uint32_t packetSize = 4096;
  std::string user = "sa";
  std::string password = "secret";
  std::string database;
  std::string app = "test";
};

/// A LOGIN7 payload as FreeTDS sends it (strings UTF-16LE, password obfuscated).
std::vector<uint8_t> login7(const LoginFields& f);

/// A SQL batch payload: ALL_HEADERS with a transaction descriptor, then the text.
std::vector<uint8_t> sqlBatch(const std::string& windows1252Text);

/// The bytes of one packet (header included) around a payload.
std::vector<uint8_t> packet(uint8_t type, std::span<const uint8_t> payload, bool last = true, uint8_t id = 1);

struct ReadToken {
  uint8_t type = 0;
  // ERROR / INFO
  int number = 0;
  int state = 0;
  int severity = 0;
  std::string text;
  int line = 0;
  // ENVCHANGE: type and new value (collation: its five bytes as hex)
  int envType = 0;
  // DONE
  uint16_t status = 0;
  uint64_t count = 0;
  // LOGINACK: the version bytes most significant first
  uint32_t version = 0;
  // COLMETADATA: per column "type:size name"; ROW: values as text, NULL as "NULL"
  std::vector<std::string> cells;
};

/// Reads a reply token stream. Returns 0, or -1 at the first byte it cannot read.
int readTokens(std::span<const uint8_t> bytes, std::vector<ReadToken>& out);

/// The token types of a stream in order, as two-digit hex words ("e3 ab fd").
std::string tokenTypes(const std::vector<ReadToken>& tokens);

}  // namespace testdb::tds::test
