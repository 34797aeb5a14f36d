#pragma once
// The tokens of a server's reply stream that do not depend on result data:
// environment changes, messages, the login acknowledgement and DONE.

#include <cstdint>
#include <string_view>
#include <vector>

namespace testdb::tds {

// DONE status bits.
constexpr uint16_t kDoneMore = 0x0001;
constexpr uint16_t kDoneError = 0x0002;
constexpr uint16_t kDoneCount = 0x0010;
constexpr uint16_t kDoneAttention = 0x0020;

// ENVCHANGE types.
constexpr uint8_t kEnvDatabase = 1;
constexpr uint8_t kEnvLanguage = 2;
constexpr uint8_t kEnvPacketSize = 4;
constexpr uint8_t kEnvCollation = 7;

/// SQL_Latin1_General_CP1_CI_AS: LCID 0x0409, insensitive flags, sort id 52 (code page 1252).
constexpr uint8_t kCollation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};

/// The name the server gives in its messages.
constexpr std::string_view kServerName = "dulmar-testdb";

struct TokenMessage {
  int number = 0;
  uint8_t state = 1;
  // severity: above 10 an error, else an informational message
  uint8_t severity = 16;
  // Windows-1252
  std::string_view text;
  int line = 1;
};

/// ENVCHANGE with a text value (database, language, packet size).
void writeEnvChange(std::vector<uint8_t>& out, uint8_t type, std::string_view newValue, std::string_view oldValue);
/// ENVCHANGE 7: the collation.
void writeCollationChange(std::vector<uint8_t>& out);
/// ERROR (severity > 10) or INFO.
void writeMessage(std::vector<uint8_t>& out, const TokenMessage& m);
/// LOGINACK naming the negotiated TDS version (as LOGIN7 gives it).
void writeLoginAck(std::vector<uint8_t>& out, uint32_t tdsVersion);
/// DONE with status, current command and row count.
void writeDone(std::vector<uint8_t>& out, uint16_t status, uint64_t rowCount = 0, uint16_t command = 0);

}  // namespace testdb::tds
