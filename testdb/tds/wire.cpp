#include "tds/wire.h"

#include "tds/text_codec.h"

namespace testdb::tds {

int parseHeader(std::span<const uint8_t> bytes, PacketHeader& out) {
  if (bytes.size() < kHeaderSize) return -1;
  out.type = bytes[0];
  out.status = bytes[1];
  out.length = static_cast<uint16_t>(bytes[2] << 8 | bytes[3]);
  out.spid = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  out.packetId = bytes[6];
  return out.length < kHeaderSize ? -1 : 0;
}

void MessageAssembler::append(std::span<const uint8_t> bytes) {
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

int MessageAssembler::next(Message& out) {
  size_t used = 0;
  int result = 0;
  while (result == 0) {
    std::span<const uint8_t> rest(pending_.data() + used, pending_.size() - used);
    PacketHeader h;
    if (rest.size() < kHeaderSize) break;
    if (parseHeader(rest, h) != 0) {
      result = -1;
      break;
    }
    if (rest.size() < h.length) break;
    if (inMessage_ && h.type != partialType_) {
      result = -1;
      break;
    }
    if (partial_.size() + (h.length - kHeaderSize) > kMaxMessageSize) {
      result = -1;
      break;
    }
    partialType_ = h.type;
    inMessage_ = true;
    partial_.insert(partial_.end(), rest.begin() + kHeaderSize, rest.begin() + h.length);
    used += h.length;
    if (h.status & kEndOfMessage) {
      out.type = partialType_;
      out.payload.swap(partial_);
      partial_.clear();
      inMessage_ = false;
      result = 1;
    }
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
  if (result < 0) {
    pending_.clear();
    partial_.clear();
  }
  return result;
}

void packetize(std::span<const uint8_t> payload, uint32_t packetSize, uint16_t spid, std::vector<uint8_t>& out) {
  if (packetSize < kMinPacketSize) packetSize = kMinPacketSize;
  if (packetSize > kMaxPacketSize) packetSize = kMaxPacketSize;
  const size_t room = packetSize - kHeaderSize;
  size_t offset = 0;
  uint8_t id = 1;
  do {
    size_t n = payload.size() - offset < room ? payload.size() - offset : room;
    bool last = offset + n == payload.size();
    size_t length = n + kHeaderSize;
    const uint8_t header[kHeaderSize] = {kReply,
                                         static_cast<uint8_t>(last ? kEndOfMessage : 0),
                                         static_cast<uint8_t>(length >> 8),
                                         static_cast<uint8_t>(length & 0xff),
                                         static_cast<uint8_t>(spid >> 8),
                                         static_cast<uint8_t>(spid & 0xff),
                                         id++,
                                         0};
    out.insert(out.end(), header, header + kHeaderSize);
    out.insert(out.end(), payload.begin() + static_cast<std::ptrdiff_t>(offset),
               payload.begin() + static_cast<std::ptrdiff_t>(offset + n));
    offset += n;
  } while (offset < payload.size());
}

void ByteWriter::u16(uint16_t v) {
  out.push_back(static_cast<uint8_t>(v & 0xff));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void ByteWriter::u32(uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void ByteWriter::u64(uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void ByteWriter::bVarchar(std::string_view text) {
  if (text.size() > 255) text = text.substr(0, 255);
  u8(static_cast<uint8_t>(text.size()));
  appendUtf16(text, out);
}

void ByteWriter::usVarchar(std::string_view text) {
  if (text.size() > 65535) text = text.substr(0, 65535);
  u16(static_cast<uint16_t>(text.size()));
  appendUtf16(text, out);
}

size_t ByteWriter::lengthSlot() {
  size_t slot = out.size();
  u16(0);
  return slot;
}

void ByteWriter::patchLength(size_t slot) {
  size_t n = out.size() - slot - 2;
  out[slot] = static_cast<uint8_t>(n & 0xff);
  out[slot + 1] = static_cast<uint8_t>(n >> 8);
}

}  // namespace testdb::tds
