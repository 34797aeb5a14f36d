#include "tds/requests.h"

#include "tds/text_codec.h"
#include "tds/wire.h"

namespace testdb::tds {
namespace {

constexpr uint8_t kOptionVersion = 0x00;
constexpr uint8_t kOptionEncryption = 0x01;
constexpr uint8_t kOptionInstance = 0x02;
constexpr uint8_t kOptionThreadId = 0x03;
constexpr uint8_t kOptionMars = 0x04;
constexpr uint8_t kOptionEnd = 0xFF;

// LOGIN7's fixed part: 36 bytes of numbers, then offset/length pairs.
constexpr size_t kLoginFixedSize = 94;
constexpr size_t kHostPair = 36;
constexpr size_t kUserPair = 40;
constexpr size_t kPasswordPair = 44;
constexpr size_t kAppPair = 48;
constexpr size_t kServerPair = 52;
constexpr size_t kLibraryPair = 60;
constexpr size_t kLanguagePair = 64;
constexpr size_t kDatabasePair = 68;

uint16_t le16(std::span<const uint8_t> b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

uint32_t le32(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The string of an offset/length pair (length in characters). 0, or -1 when
// it lies outside the message.
int loginString(std::span<const uint8_t> payload, size_t pair, bool obfuscated, std::string& out) {
  size_t offset = le16(payload, pair);
  size_t bytes = static_cast<size_t>(le16(payload, pair + 2)) * 2;
  if (bytes == 0) {
    out.clear();
    return 0;
  }
  if (offset > payload.size() || bytes > payload.size() - offset) return -1;
  std::vector<uint8_t> raw(payload.begin() + static_cast<std::ptrdiff_t>(offset),
                           payload.begin() + static_cast<std::ptrdiff_t>(offset + bytes));
  if (obfuscated) {
    // Each byte was nibble-swapped, then XORed with 0xA5.
    for (uint8_t& b : raw) {
      uint8_t x = b ^ 0xA5;
      b = static_cast<uint8_t>((x << 4) | (x >> 4));
    }
  }
  return decodeUtf16(raw, out);
}

}  // namespace

int parsePrelogin(std::span<const uint8_t> payload, Prelogin& out) {
  out = Prelogin{};
  size_t pos = 0;
  while (true) {
    if (pos >= payload.size()) return -1;
    uint8_t option = payload[pos];
    if (option == kOptionEnd) return 0;
    if (payload.size() - pos < 5) return -1;
    size_t offset = static_cast<size_t>(payload[pos + 1] << 8 | payload[pos + 2]);
    size_t length = static_cast<size_t>(payload[pos + 3] << 8 | payload[pos + 4]);
    if (offset > payload.size() || length > payload.size() - offset) return -1;
    if (option == kOptionEncryption && length >= 1) out.encryption = payload[offset];
    pos += 5;
  }
}

std::vector<uint8_t> preloginReply() {
  // Option table (5 bytes each, then the terminator), then the data.
  struct Option {
    uint8_t token;
    std::vector<uint8_t> data;
  };
  const Option options[] = {
      {kOptionVersion, {15, 0, 0x07, 0xD0, 0, 0}},
      {kOptionEncryption, {kEncryptNotSupported}},
      {kOptionInstance, {0}},
      {kOptionThreadId, {}},
      {kOptionMars, {0}},
  };
  std::vector<uint8_t> out;
  size_t offset = sizeof options / sizeof options[0] * 5 + 1;
  for (const Option& o : options) {
    out.push_back(o.token);
    out.push_back(static_cast<uint8_t>(offset >> 8));
    out.push_back(static_cast<uint8_t>(offset & 0xff));
    out.push_back(static_cast<uint8_t>(o.data.size() >> 8));
    out.push_back(static_cast<uint8_t>(o.data.size() & 0xff));
    offset += o.data.size();
  }
  out.push_back(kOptionEnd);
  for (const Option& o : options) out.insert(out.end(), o.data.begin(), o.data.end());
  return out;
}

int parseLogin7(std::span<const uint8_t> payload, Login7& out) {
  out = Login7{};
  if (payload.size() < kLoginFixedSize) return -1;
  out.tdsVersion = le32(payload, 4);
  out.packetSize = le32(payload, 8);
  const struct {
    size_t pair;
    std::string* target;
  } strings[] = {{kHostPair, &out.hostName},     {kUserPair, &out.userName},       {kAppPair, &out.appName},
                 {kServerPair, &out.serverName}, {kLibraryPair, &out.libraryName}, {kLanguagePair, &out.language},
                 {kDatabasePair, &out.database}};
  for (const auto& s : strings) {
    if (loginString(payload, s.pair, false, *s.target) != 0) return -1;
  }
  return loginString(payload, kPasswordPair, true, out.password);
}

uint32_t negotiatedVersion(uint32_t requested) {
  if (requested >= kTds74) return kTds74;
  if (requested >= kTds72) return requested;
  return 0;
}

int parseSqlBatch(std::span<const uint8_t> payload, std::string& text) {
  text.clear();
  if (payload.size() < 4) return -1;
  // ALL_HEADERS starts with its own total length, itself included.
  size_t headers = le32(payload, 0);
  if (headers < 4 || headers > payload.size()) return -1;
  return decodeUtf16(payload.subspan(headers), text);
}

}  // namespace testdb::tds
