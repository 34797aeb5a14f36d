// The TDS server's reading of what a client sends, on arbitrary bytes: the
// stream is cut into reads where the input says, reassembled into messages,
// and each message read as the server reads its type. Nothing may read or
// write outside the bytes; a message, once whole, survives being cut into
// reply packets and joined again unchanged; what is read stays inside it.

#include <string>
#include <vector>

#include "fuzz_support.h"
#include "tds/requests.h"
#include "tds/wire.h"

namespace {
using namespace testdb::tds;

void checkMessage(const Message& m) {
  switch (m.type) {
    case kPrelogin: {
      Prelogin p;
      (void)parsePrelogin(m.payload, p);
      break;
    }
    case kLogin7: {
      Login7 l;
      if (parseLogin7(m.payload, l) == 0) {
        // UTF-16 to one byte a character: no name can be longer than half the message.
        for (const std::string* s : {&l.userName, &l.password, &l.database, &l.hostName, &l.appName}) {
          require(s->size() <= m.payload.size() / 2, "a LOGIN7 string lies inside the message");
        }
        uint32_t v = negotiatedVersion(l.tdsVersion);
        require(v == 0 || (v >= kTds72 && v <= kTds74), "a negotiated version is 7.2 to 7.4 or refused");
      }
      break;
    }
    case kSqlBatch: {
      std::string text;
      if (parseSqlBatch(m.payload, text) == 0) require(text.size() * 2 + 4 <= m.payload.size(), "batch text inside");
      break;
    }
    default: break;
  }
  // Every payload goes out in packets and comes back whole.
  std::vector<uint8_t> packets;
  uint32_t size = kMinPacketSize + static_cast<uint32_t>(m.payload.size() % 1024);
  packetize(m.payload, size, 51, packets);
  MessageAssembler again;
  again.append(packets);
  Message back;
  require(again.next(back) == 1, "packetized payload reassembles");
  require(back.payload == m.payload, "packetized payload unchanged");
  require(again.next(back) == 0, "nothing after the reassembled message");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte says where the socket reads end: every `step` bytes.
  size_t step = data[0] % 64 + 1;
  ++data;
  --size;
  MessageAssembler assembler;
  for (size_t pos = 0; pos < size; pos += step) {
    size_t n = size - pos < step ? size - pos : step;
    assembler.append(std::span(data + pos, n));
    Message m;
    int rc;
    while ((rc = assembler.next(m)) == 1) checkMessage(m);
    if (rc < 0) return 0;
  }
  return 0;
}
