#include "tds/tds_test_support.h"

#include <cstdio>
#include <cstring>

namespace testdb::tds::test {
namespace {

void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v & 0xff);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// Latin-1 is enough for the test texts; the euro sign is spelled out.
std::vector<uint8_t> utf16(const std::string& s) {
  std::vector<uint8_t> out;
  for (unsigned char c : s) {
    char16_t u = c == 0x80 ? 0x20AC : c;
    out.push_back(static_cast<uint8_t>(u & 0xff));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  return out;
}

std::string fromUtf16(const uint8_t* p, size_t chars) {
  std::string s;
  for (size_t i = 0; i < chars; ++i) {
    char16_t u = static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8);
    s += u == 0x20AC ? '\x80' : u < 0x100 ? static_cast<char>(u) : '?';
  }
  return s;
}

struct Reader {
  std::span<const uint8_t> b;
  size_t pos = 0;
  bool ok = true;
  bool has(size_t n) {
    if (b.size() - pos < n) ok = false;
    return ok;
  }
  uint64_t le(size_t n) {
    if (!has(n)) return 0;
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<uint64_t>(b[pos + i]) << (8 * i);
    pos += n;
    return v;
  }
  std::string text(size_t chars) {
    if (!has(2 * chars)) return {};
    std::string s = fromUtf16(b.data() + pos, chars);
    pos += 2 * chars;
    return s;
  }
  std::string bytes(size_t n) {
    if (!has(n)) return {};
    std::string s(reinterpret_cast<const char*>(b.data() + pos), n);
    pos += n;
    return s;
  }
};

struct ColumnInfo {
  uint8_t type;
  int size;
};

std::string readValue(Reader& r, const ColumnInfo& c) {
  char buf[64];
  if (c.type == 0xA7 || c.type == 0xAF) {
    uint64_t n = r.le(2);
    return n == 0xFFFF ? "NULL" : r.bytes(n);
  }
  uint64_t n = r.le(1);
  if (n == 0) return "NULL";
  if (c.type == 0x6F) {
    int64_t days = static_cast<int32_t>(r.le(4));
    uint64_t ticks = r.le(4);
    snprintf(buf, sizeof buf, "days=%lld ticks=%llu", static_cast<long long>(days),
             static_cast<unsigned long long>(ticks));
    return buf;
  }
  if (c.type == 0x6D) {
    uint64_t bits = r.le(8);
    double d;
    memcpy(&d, &bits, sizeof d);
    snprintf(buf, sizeof buf, "%g", d);
    return buf;
  }
  if (c.type == 0x6A) {
    int sign = static_cast<int>(r.le(1));
    uint64_t m = r.le(n - 1 > 8 ? 8 : n - 1);
    if (n - 1 > 8) r.le(n - 9);
    snprintf(buf, sizeof buf, "%s%llu", sign ? "" : "-", static_cast<unsigned long long>(m));
    return buf;
  }
  uint64_t v = r.le(n);
  int64_t s = n == 1   ? static_cast<int64_t>(v)
              : n == 2 ? static_cast<int16_t>(v)
              : n == 4 ? static_cast<int32_t>(v)
                       : static_cast<int64_t>(v);
  snprintf(buf, sizeof buf, "%lld", static_cast<long long>(s));
  return buf;
}

}  // namespace

std::vector<uint8_t> login7(const LoginFields& f) {
  constexpr size_t kFixed = 94;
  std::vector<uint8_t> b(kFixed, 0);
  put32(b, 4, f.tdsVersion);
  put32(b, 8, f.packetSize);
  struct Field {
    size_t pair;
    std::vector<uint8_t> data;
  };
  std::vector<uint8_t> password = utf16(f.password);
  for (uint8_t& x : password) x = static_cast<uint8_t>(((x << 4) | (x >> 4)) ^ 0xA5);
  Field fields[] = {{36, utf16("host")},   {40, utf16(f.user)}, {44, password},  {48, utf16(f.app)},
                    {52, utf16("server")}, {60, utf16("lib")},  {64, utf16("")}, {68, utf16(f.database)}};
  for (Field& field : fields) {
    put16(b, field.pair, static_cast<uint16_t>(b.size()));
    put16(b, field.pair + 2, static_cast<uint16_t>(field.data.size() / 2));
    b.insert(b.end(), field.data.begin(), field.data.end());
  }
  put32(b, 0, static_cast<uint32_t>(b.size()));
  return b;
}

std::vector<uint8_t> sqlBatch(const std::string& text) {
  const uint8_t headers[] = {0x16, 0, 0, 0, 0x12, 0, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
  std::vector<uint8_t> b(headers, headers + sizeof headers);
  std::vector<uint8_t> t = utf16(text);
  b.insert(b.end(), t.begin(), t.end());
  return b;
}

std::vector<uint8_t> packet(uint8_t type, std::span<const uint8_t> payload, bool last, uint8_t id) {
  size_t n = payload.size() + 8;
  const uint8_t header[8] = {
      type, static_cast<uint8_t>(last ? 1 : 0), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n & 0xff), 0, 0, id,
      0};
  std::vector<uint8_t> b;
  b.reserve(n);
  for (uint8_t x : header) b.push_back(x);
  for (uint8_t x : payload) b.push_back(x);
  return b;
}

int readTokens(std::span<const uint8_t> bytes, std::vector<ReadToken>& out) {
  out.clear();
  Reader r{bytes};
  std::vector<ColumnInfo> columns;
  while (r.ok && r.pos < bytes.size()) {
    ReadToken t;
    t.type = static_cast<uint8_t>(r.le(1));
    switch (t.type) {
      case 0xAA:
      case 0xAB: {
        size_t end = r.pos + 2 + r.le(2);
        t.number = static_cast<int>(r.le(4));
        t.state = static_cast<int>(r.le(1));
        t.severity = static_cast<int>(r.le(1));
        t.text = r.text(r.le(2));
        r.text(r.le(1));  // server
        r.text(r.le(1));  // procedure
        t.line = static_cast<int>(r.le(4));
        if (r.pos != end) return -1;
        break;
      }
      case 0xE3: {
        size_t end = r.pos + 2 + r.le(2);
        t.envType = static_cast<int>(r.le(1));
        if (t.envType == 7) {
          std::string c = r.bytes(r.le(1));
          for (unsigned char x : c) {
            char hex[4];
            snprintf(hex, sizeof hex, "%02x", x);
            t.text += hex;
          }
          r.bytes(r.le(1));
        } else {
          t.text = r.text(r.le(1));
          r.text(r.le(1));
        }
        if (r.pos != end) return -1;
        break;
      }
      case 0xAD: {
        size_t end = r.pos + 2 + r.le(2);
        r.le(1);
        std::string v = r.bytes(4);
        for (unsigned char x : v) t.version = t.version << 8 | x;
        t.text = r.text(r.le(1));
        r.le(4);
        if (r.pos != end) return -1;
        break;
      }
      case 0xFD:
        t.status = static_cast<uint16_t>(r.le(2));
        r.le(2);
        t.count = r.le(8);
        break;
      case 0x81: {
        uint64_t n = r.le(2);
        columns.clear();
        for (uint64_t i = 0; i < n && r.ok; ++i) {
          r.le(4);
          r.le(2);
          ColumnInfo c{static_cast<uint8_t>(r.le(1)), 0};
          if (c.type == 0xA7 || c.type == 0xAF) {
            c.size = static_cast<int>(r.le(2));
            r.bytes(5);
          } else {
            c.size = static_cast<int>(r.le(1));
            if (c.type == 0x6A) r.le(2);
          }
          char head[32];
          snprintf(head, sizeof head, "%02x:%d ", c.type, c.size);
          t.cells.push_back(head + r.text(r.le(1)));
          columns.push_back(c);
        }
        break;
      }
      case 0xD1:
        for (const ColumnInfo& c : columns) t.cells.push_back(readValue(r, c));
        break;
      default:
        return -1;
    }
    if (r.ok) out.push_back(t);
  }
  return r.ok ? 0 : -1;
}

std::string tokenTypes(const std::vector<ReadToken>& tokens) {
  std::string s;
  for (const ReadToken& t : tokens) {
    char hex[4];
    snprintf(hex, sizeof hex, "%02x", t.type);
    if (!s.empty()) s += ' ';
    s += hex;
  }
  return s;
}

}  // namespace testdb::tds::test
