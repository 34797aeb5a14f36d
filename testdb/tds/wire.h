#pragma once
// TDS framing: the 8-byte packet header, messages reassembled from the packets
// a client sends, replies cut into packets of the negotiated size, and the
// little-endian writer every token is built with.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace testdb::tds {

// Message types of the packet header.
enum : uint8_t {
  kSqlBatch = 0x01,
  kRpc = 0x03,
  kReply = 0x04,
  kAttention = 0x06,
  kTransactionManager = 0x0E,
  kLogin7 = 0x10,
  kPrelogin = 0x12,
};

constexpr size_t kHeaderSize = 8;
// status bit of the last packet of a message
constexpr uint8_t kEndOfMessage = 0x01;
// packet sizes a client may negotiate (SQL Server's bounds)
constexpr uint32_t kMinPacketSize = 512;
constexpr uint32_t kMaxPacketSize = 32767;
constexpr uint32_t kDefaultPacketSize = 4096;
// the largest message this server reassembles; larger ones end the connection
constexpr size_t kMaxMessageSize = 8u << 20;

struct PacketHeader {
  uint8_t type = 0;
  uint8_t status = 0;
  // packet length, header included
  uint16_t length = 0;
  uint16_t spid = 0;
  uint8_t packetId = 0;
};

/// Reads a header from the first 8 bytes. Returns 0, or -1 when there are
/// fewer bytes or the length cannot hold the header.
int parseHeader(std::span<const uint8_t> bytes, PacketHeader& out);

struct Message {
  uint8_t type = 0;
  std::vector<uint8_t> payload;
};

/// Collects packets from a byte stream into whole messages.
class MessageAssembler {
 public:
  /// Adds bytes as they arrived from the socket.
  void append(std::span<const uint8_t> bytes);
  /// Takes the next whole message. Returns 1 (message in out), 0 (more bytes
  /// needed), -1 (broken framing: the connection cannot go on).
  int next(Message& out);

 private:
  // bytes received and not yet taken into a message
  std::vector<uint8_t> pending_;
  // the payload of the message being reassembled, and its type
  std::vector<uint8_t> partial_;
  uint8_t partialType_ = 0;
  bool inMessage_ = false;
};

/// Appends payload to out as packets of type kReply, none longer than
/// packetSize, numbered from 1; the last one carries kEndOfMessage.
void packetize(std::span<const uint8_t> payload, uint32_t packetSize, uint16_t spid, std::vector<uint8_t>& out);

/// Little-endian appends to a byte vector.
struct ByteWriter {
  // where the bytes go
  std::vector<uint8_t>& out;
  /// Appends one byte.
  void u8(uint8_t v) { out.push_back(v); }
  /// Appends 2, 4 or 8 bytes, least significant first.
  void u16(uint16_t v);
  void u32(uint32_t v);
  void u64(uint64_t v);
  /// Appends the bytes as they are.
  void bytes(std::span<const uint8_t> b) { out.insert(out.end(), b.begin(), b.end()); }
  /// A B_VARCHAR: a length byte (characters), then UTF-16LE; cut at 255 characters.
  void bVarchar(std::string_view text);
  /// A US_VARCHAR: a 2-byte length (characters), then UTF-16LE; cut at 65535.
  void usVarchar(std::string_view text);
  /// Reserves a 2-byte length and returns its position for patchLength.
  size_t lengthSlot();
  /// Writes into the slot the number of bytes written after it.
  void patchLength(size_t slot);
};

}  // namespace testdb::tds
