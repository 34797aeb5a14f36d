#include "tds/text_codec.h"

namespace testdb::tds {
namespace {

// 0x80..0x9F; the five bytes Windows-1252 leaves undefined keep their own
// value, so every byte goes to the wire and back unchanged.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char16_t unicodeOf(unsigned char c) {
  if (c >= 0x80 && c <= 0x9F) return kHigh[c - 0x80];
  return c;
}

char windows1252Of(char16_t u) {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<char>(u);
  for (unsigned i = 0; i < sizeof kHigh / sizeof kHigh[0]; ++i) {
    if (kHigh[i] == u) return static_cast<char>(0x80 + i);
  }
  return '?';
}

int decodeUtf16(std::span<const uint8_t> bytes, std::string& out) {
  out.clear();
  if (bytes.size() % 2 != 0) return -1;
  out.reserve(bytes.size() / 2);
  for (size_t i = 0; i < bytes.size(); i += 2) {
    out += windows1252Of(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  return 0;
}

void appendUtf16(std::string_view text, std::vector<uint8_t>& out) {
  for (char c : text) {
    char16_t u = unicodeOf(static_cast<unsigned char>(c));
    out.push_back(static_cast<uint8_t>(u & 0xff));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
}

}  // namespace testdb::tds
