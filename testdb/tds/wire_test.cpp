#include "tds/wire.h"

#include <gtest/gtest.h>

#include "tds/tds_test_support.h"
#include "tds/text_codec.h"

namespace testdb::tds {
namespace {

using test::packet;

std::vector<uint8_t> bytesOf(size_t n) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7);
  return b;
}

TEST(PacketHeader, RejectsFewerThanEightBytesAndLengthsBelowTheHeader) {
  PacketHeader h;
  const uint8_t shortHeader[] = {1, 1, 0, 8, 0, 0, 1};
  EXPECT_EQ(parseHeader(shortHeader, h), -1);
  const uint8_t tooSmall[] = {1, 1, 0, 7, 0, 0, 1, 0};
  EXPECT_EQ(parseHeader(tooSmall, h), -1);
  const uint8_t ok[] = {0x12, 1, 0x01, 0x02, 0, 53, 4, 0};
  ASSERT_EQ(parseHeader(ok, h), 0);
  EXPECT_EQ(h.type, 0x12);
  EXPECT_EQ(h.length, 0x0102);
  EXPECT_EQ(h.spid, 53);
  EXPECT_EQ(h.packetId, 4);
}

TEST(MessageAssembler, JoinsPacketsArrivingByteByByte) {
  std::vector<uint8_t> payload = bytesOf(300);
  std::vector<uint8_t> stream = packet(kSqlBatch, std::span(payload).first(100), false, 1);
  std::vector<uint8_t> second = packet(kSqlBatch, std::span(payload).subspan(100), true, 2);
  stream.insert(stream.end(), second.begin(), second.end());
  MessageAssembler a;
  Message m;
  for (size_t i = 0; i + 1 < stream.size(); ++i) {
    a.append(std::span(&stream[i], 1));
    ASSERT_EQ(a.next(m), 0) << "at byte " << i;
  }
  a.append(std::span(&stream.back(), 1));
  ASSERT_EQ(a.next(m), 1);
  EXPECT_EQ(m.type, kSqlBatch);
  EXPECT_EQ(m.payload, payload);
  EXPECT_EQ(a.next(m), 0);
}

TEST(MessageAssembler, GivesTwoMessagesOfOneReadOneAfterTheOther) {
  const uint8_t one[] = {1, 2, 3};
  std::vector<uint8_t> stream = packet(kPrelogin, one);
  std::vector<uint8_t> attention = packet(kAttention, {});
  stream.insert(stream.end(), attention.begin(), attention.end());
  MessageAssembler a;
  a.append(stream);
  Message m;
  ASSERT_EQ(a.next(m), 1);
  EXPECT_EQ(m.type, kPrelogin);
  EXPECT_EQ(m.payload.size(), 3u);
  ASSERT_EQ(a.next(m), 1);
  EXPECT_EQ(m.type, kAttention);
  EXPECT_TRUE(m.payload.empty());
}

TEST(MessageAssembler, BrokenFramingEndsTheStream) {
  const uint8_t data[] = {9};
  {
    // a continuation of another type
    MessageAssembler a;
    a.append(packet(kSqlBatch, data, false));
    a.append(packet(kRpc, data, true));
    Message m;
    EXPECT_EQ(a.next(m), -1);
  }
  {
    // a length that cannot hold the header
    MessageAssembler a;
    const uint8_t bad[] = {1, 1, 0, 3, 0, 0, 1, 0, 5, 5};
    a.append(bad);
    Message m;
    EXPECT_EQ(a.next(m), -1);
  }
  {
    // a message that never ends grows no further than the limit
    MessageAssembler a;
    std::vector<uint8_t> chunk(kMaxPacketSize - kHeaderSize);
    Message m;
    int rc = 0;
    for (size_t sent = 0; rc == 0 && sent <= kMaxMessageSize + chunk.size(); sent += chunk.size()) {
      a.append(packet(kSqlBatch, chunk, false));
      rc = a.next(m);
    }
    EXPECT_EQ(rc, -1);
  }
}

TEST(Packetize, CutsAtThePacketSizeAndMarksTheLast) {
  std::vector<uint8_t> payload = bytesOf(10000);
  std::vector<uint8_t> out;
  packetize(payload, 4096, 51, out);
  MessageAssembler a;
  size_t pos = 0;
  int packets = 0;
  while (pos < out.size()) {
    PacketHeader h;
    ASSERT_EQ(parseHeader(std::span(out).subspan(pos), h), 0);
    EXPECT_LE(h.length, 4096);
    EXPECT_EQ(h.type, kReply);
    EXPECT_EQ(h.spid, 51);
    EXPECT_EQ(h.packetId, packets + 1);
    ++packets;
    EXPECT_EQ((h.status & kEndOfMessage) != 0, pos + h.length == out.size());
    pos += h.length;
  }
  EXPECT_EQ(packets, 3);
  a.append(out);
  Message m;
  ASSERT_EQ(a.next(m), 1);
  EXPECT_EQ(m.payload, payload);
}

TEST(Packetize, AnEmptyReplyIsOneHeaderAndSizesAreKeptInBounds) {
  std::vector<uint8_t> out;
  packetize({}, 4096, 1, out);
  ASSERT_EQ(out.size(), kHeaderSize);
  EXPECT_EQ(out[1], kEndOfMessage);
  out.clear();
  packetize(bytesOf(600), 10, 1, out);  // below the minimum: 512 is used
  PacketHeader h;
  ASSERT_EQ(parseHeader(out, h), 0);
  EXPECT_EQ(h.length, kMinPacketSize);
}

TEST(ByteWriter, WritesLittleEndianNumbersAndCountedUtf16) {
  std::vector<uint8_t> out;
  ByteWriter w{out};
  w.u16(0x0102);
  w.u32(0x03040506);
  w.bVarchar("\x80");
  size_t slot = w.lengthSlot();
  w.usVarchar("ab");
  w.patchLength(slot);
  const std::vector<uint8_t> expected = {0x02, 0x01, 0x06, 0x05, 0x04, 0x03, 1, 0xAC, 0x20,
                                         6,    0,    2,    0,    'a',  0,    'b', 0};
  EXPECT_EQ(out, expected);
}

TEST(TextCodec, EveryWindows1252ByteGoesToUtf16AndBack) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  std::vector<uint8_t> wire;
  appendUtf16(all, wire);
  std::string back;
  ASSERT_EQ(decodeUtf16(wire, back), 0);
  EXPECT_EQ(back, all);
  EXPECT_EQ(unicodeOf(0x80), 0x20AC);
  EXPECT_EQ(unicodeOf(0x9F), 0x0178);
  EXPECT_EQ(unicodeOf(0xF6), 0x00F6);
}

TEST(TextCodec, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  const uint8_t snowmanAndA[] = {0x03, 0x26, 'A', 0};
  std::string s;
  ASSERT_EQ(decodeUtf16(snowmanAndA, s), 0);
  EXPECT_EQ(s, "?A");
  const uint8_t odd[] = {'A', 0, 'B'};
  EXPECT_EQ(decodeUtf16(odd, s), -1);
}

}  // namespace
}  // namespace testdb::tds
