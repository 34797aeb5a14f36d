#pragma once
// What a client's PRELOGIN, LOGIN7 and SQL batch messages say. Pure functions
// over the message bytes: every offset and length is checked against them.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace testdb::tds {

// TDS versions as LOGIN7 names them.
constexpr uint32_t kTds72 = 0x72090002;
constexpr uint32_t kTds73A = 0x730A0003;
constexpr uint32_t kTds73B = 0x730B0003;
constexpr uint32_t kTds74 = 0x74000004;

// PRELOGIN encryption values.
constexpr uint8_t kEncryptOff = 0x00;
constexpr uint8_t kEncryptOn = 0x01;
constexpr uint8_t kEncryptNotSupported = 0x02;
constexpr uint8_t kEncryptRequired = 0x03;

struct Prelogin {
  // the client's encryption option (kEncryptOff when it sent none)
  uint8_t encryption = kEncryptOff;
};

/// Reads the option list of a PRELOGIN. Returns 0, or -1 when it is malformed.
int parsePrelogin(std::span<const uint8_t> payload, Prelogin& out);

/// The PRELOGIN answer: version, encryption "not supported", no instance, no MARS.
std::vector<uint8_t> preloginReply();

struct Login7 {
  // TDS version the client asks for
  uint32_t tdsVersion = 0;
  // packet size it asks for (0: the server's choice)
  uint32_t packetSize = 0;
  std::string hostName;
  std::string userName;
  // de-obfuscated
  std::string password;
  std::string appName;
  std::string serverName;
  std::string libraryName;
  std::string language;
  std::string database;
};

/// Reads a LOGIN7 (strings as Windows-1252). Returns 0, or -1 when the
/// message is too short or a string lies outside it.
int parseLogin7(std::span<const uint8_t> payload, Login7& out);

/// The TDS version a server answers a client asking for `requested`:
/// min(requested, 7.4), or 0 below 7.2 (refused).
uint32_t negotiatedVersion(uint32_t requested);

/// Reads a SQL batch: skips ALL_HEADERS, decodes the UTF-16LE text to
/// Windows-1252. Returns 0, or -1 when the headers or the text are malformed.
int parseSqlBatch(std::span<const uint8_t> payload, std::string& text);

}  // namespace testdb::tds
