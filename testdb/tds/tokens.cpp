#include "tds/tokens.h"

#include "tds/wire.h"

namespace testdb::tds {
namespace {

constexpr uint8_t kTokenEnvChange = 0xE3;
constexpr uint8_t kTokenError = 0xAA;
constexpr uint8_t kTokenInfo = 0xAB;
constexpr uint8_t kTokenLoginAck = 0xAD;
constexpr uint8_t kTokenDone = 0xFD;
// LOGINACK interface: SQL
constexpr uint8_t kInterfaceSql = 1;

}  // namespace

void writeEnvChange(std::vector<uint8_t>& out, uint8_t type, std::string_view newValue, std::string_view oldValue) {
  ByteWriter w{out};
  w.u8(kTokenEnvChange);
  size_t slot = w.lengthSlot();
  w.u8(type);
  w.bVarchar(newValue);
  w.bVarchar(oldValue);
  w.patchLength(slot);
}

void writeCollationChange(std::vector<uint8_t>& out) {
  ByteWriter w{out};
  w.u8(kTokenEnvChange);
  size_t slot = w.lengthSlot();
  w.u8(kEnvCollation);
  w.u8(sizeof kCollation);
  w.bytes(kCollation);
  w.u8(0);
  w.patchLength(slot);
}

void writeMessage(std::vector<uint8_t>& out, const TokenMessage& m) {
  ByteWriter w{out};
  w.u8(m.severity > 10 ? kTokenError : kTokenInfo);
  size_t slot = w.lengthSlot();
  w.u32(static_cast<uint32_t>(m.number));
  w.u8(m.state);
  w.u8(m.severity);
  w.usVarchar(m.text.substr(0, 4000));
  w.bVarchar(kServerName);
  w.bVarchar("");
  w.u32(static_cast<uint32_t>(m.line));
  w.patchLength(slot);
}

void writeLoginAck(std::vector<uint8_t>& out, uint32_t tdsVersion) {
  ByteWriter w{out};
  w.u8(kTokenLoginAck);
  size_t slot = w.lengthSlot();
  w.u8(kInterfaceSql);
  // Here the version goes most significant byte first.
  for (int shift = 24; shift >= 0; shift -= 8) w.u8(static_cast<uint8_t>(tdsVersion >> shift));
  w.bVarchar("Microsoft SQL Server");
  const uint8_t version[4] = {15, 0, 0x07, 0xD0};
  w.bytes(version);
  w.patchLength(slot);
}

void writeDone(std::vector<uint8_t>& out, uint16_t status, uint64_t rowCount, uint16_t command) {
  ByteWriter w{out};
  w.u8(kTokenDone);
  w.u16(status);
  w.u16(command);
  w.u64(rowCount);
}

}  // namespace testdb::tds
