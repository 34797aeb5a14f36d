// Random settings files and cipher texts: the reader must agree with a plain
// model of the file rules, and nothing may be read or written past a buffer
// (run under AddressSanitizer to see the latter).

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "settings/ini_reader.h"
#include "settings/settings_test_files.h"
#include "settings/value_cipher.h"

namespace {
constexpr size_t kCut = kIniFieldCapacity - 1;

struct Model {
  std::string section;
  std::string key;
  int32_t number = 0;
  std::string value;  // deciphered after a match
  bool found = false;
};

std::string untilZero(const std::string& s) { return s.substr(0, s.find('\0')); }

/// Field between the first two separators as the reader's rules define it.
std::string between(const std::string& line, size_t a, size_t b) {
  if (a == std::string::npos || b == std::string::npos) return "";
  if (b == a + 1) return line.substr(a + 1);
  return line.substr(a + 1, b - a - 1);
}

int32_t modelNumber(const std::string& field) {
  errno = 0;
  const long long v = std::strtoll(field.c_str(), nullptr, 10);
  return static_cast<int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

std::string decipher(const std::string& hex) {
  std::vector<char> out(hex.size() / 2 + 1);
  decryptValue(hex.c_str(), out.data(), out.size(), kSettingsKey);
  return out.data();
}

/// The file rules written out plainly over std::string.
Model model(const std::string& bytes, const std::string& section, const std::string& key,
            int32_t number) {
  std::string text;
  for (size_t i = 0; i < bytes.size() && bytes[i] != '\x1A'; ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text += bytes[i];
  }
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < text.size();) {
    const size_t cap = lines.size() % 2 == 0 ? 199 : 399;
    size_t end = pos;
    while (end < text.size() && end - pos < cap && (end == pos || text[end - 1] != '\n')) ++end;
    lines.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  for (size_t i = 0; i + 1 < lines.size(); i += 2) {
    const std::string first = untilZero(lines[i]);
    std::string second = untilZero(lines[i + 1]);
    if (second.find('\n') == std::string::npos) second += '\n';
    Model m;
    const size_t p1 = first.find(';');
    m.section = between(first, p1, p1 == std::string::npos ? p1 : first.find(';', p1 + 1));
    const size_t q1 = second.find(';');
    const size_t q2 = q1 == std::string::npos ? q1 : second.find(';', q1 + 1);
    if (q1 != std::string::npos && q1 > 0) m.number = modelNumber(second.substr(0, q1));
    m.key = between(second, q1, q2);
    if (q1 == std::string::npos) {
      m.value = second;
    } else {
      const size_t start = (q2 == std::string::npos ? q1 : q2) + 1;
      const size_t lf = second.find('\n');
      m.value = lf == start ? second.substr(start) : second.substr(start, lf - start);
    }
    m.section = m.section.substr(0, kCut);
    m.key = m.key.substr(0, kCut);
    m.value = m.value.substr(0, kCut);
    if (m.section == section || m.key == key || m.number == number) {
      m.value = decipher(m.value);
      m.found = true;
      return m;
    }
  }
  return {};
}

/// A random line: mostly the characters the format gives meaning to.
std::string randomLine(std::mt19937& random) {
  static const char kAlphabet[] = ";;;;0123456789ABCDEF+- \t\rKEYSabcdef\xE4\xFC\x80";
  std::string line;
  const int shape = random() % 10;
  if (shape == 0) {  // a well-formed pair line with real cipher text
    const char* keys[] = {"DATABASE", "LOGIN", "PASS", "database"};
    line = std::to_string(static_cast<int>(random() % 3)) + ";" + keys[random() % 4] + ";" +
           cipherHex(std::string(random() % 40, 'v'));
  } else {
    const size_t length = shape == 1 ? 150 + random() % 600 : random() % 60;
    for (size_t i = 0; i < length; ++i) {
      const int r = random() % 200;
      line += r == 0 ? '\x1A' : r == 1 ? '\0' : r == 2 ? '\n' : r < 60 ? static_cast<char>(random()) : kAlphabet[random() % (sizeof kAlphabet - 1)];
    }
    // Long lines stay long: no line feed inside them.
    if (shape == 1) std::replace(line.begin(), line.end(), '\n', 'x');
  }
  const int end = random() % 8;
  if (end < 5) line += "\r\n";
  else if (end < 7) line += "\n";
  return line;  // otherwise no line end at all
}
}  // namespace

TEST(SettingsFuzz, ReaderAgreesWithThePlainRulesOnRandomFiles) {
  std::mt19937 random(1402);
  const char* keys[] = {"DATABASE", "LOGIN", "PASS", ""};
  int found = 0;     // rounds that deciphered a value
  int overlong = 0;  // rounds with a line longer than the reader reads
  for (int round = 0; round < 3000; ++round) {
    std::string bytes;
    const int lines = random() % 9;
    for (int i = 0; i < lines; ++i) bytes += randomLine(random);
    TempSettingsFile file(bytes);
    const char* key = keys[random() % 4];

    SettingsPair pair;
    std::memset(&pair, 0x55, sizeof pair);  // every field must be written
    const int result = readSettingsPair(file.c_str(), key, pair);
    // The run always asks with the empty section and number 0.
    const Model expected = model(bytes, "", key, 0);
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_LT(strnlen(pair.value, sizeof pair.value), sizeof pair.value);
    ASSERT_LT(strnlen(pair.key, sizeof pair.key), sizeof pair.key);
    ASSERT_LT(strnlen(pair.section, sizeof pair.section), sizeof pair.section);
    ASSERT_EQ(std::string(pair.value), expected.value);
    ASSERT_EQ(std::string(pair.key), expected.key);
    ASSERT_EQ(std::string(pair.section), expected.section);
    ASSERT_EQ(pair.number, expected.number);
    ASSERT_EQ(result, expected.found ? 0 : -1);
    if (!expected.value.empty()) ++found;
    size_t longest = 0;
    for (size_t start = 0; start < bytes.size();) {
      const size_t end = std::min(bytes.find('\n', start), bytes.size());
      longest = std::max(longest, end - start);
      start = end + 1;
    }
    if (longest >= 199) ++overlong;
  }
  // The random files must reach the interesting cases, not only empty ones.
  EXPECT_GT(found, 300);
  EXPECT_GT(overlong, 100);
}

TEST(SettingsFuzz, DecryptValueStaysInsideItsTexts) {
  std::mt19937 random(77);
  BlowfishState check;
  blowfishInit(check, reinterpret_cast<const unsigned char*>(kSettingsKey),
               sizeof kSettingsKey - 1);
  for (int round = 0; round < 3000; ++round) {
    std::string text(random() % 300, '\0');
    for (char& c : text) c = static_cast<char>(1 + random() % 255);
    // Exactly the size the contract asks for, so that any overrun shows.
    std::vector<char> out(text.size() / 2 + 1, '\x55');
    decryptValue(text.c_str(), out.data(), out.size(), kSettingsKey);
    const size_t groups = text.size() / kCipherGroupDigits;
    ASSERT_EQ(out[groups * kCipherBlockBytes], '\0');
    // Every block is the decipherment of its own group, in order.
    for (size_t g = 0; g < groups; ++g) {
      unsigned char block[kCipherBlockBytes];
      std::memcpy(block, out.data() + g * kCipherBlockBytes, sizeof block);
      uint32_t left = uint32_t{block[0]} | uint32_t{block[1]} << 8 |
                      uint32_t{block[2]} << 16 | uint32_t{block[3]} << 24;
      uint32_t right = uint32_t{block[4]} | uint32_t{block[5]} << 8 |
                       uint32_t{block[6]} << 16 | uint32_t{block[7]} << 24;
      blowfishEncipher(check, left, right);
      unsigned char again[kCipherBlockBytes];
      for (int i = 0; i < 4; ++i) {
        again[i] = static_cast<unsigned char>(left >> (8 * i));
        again[4 + i] = static_cast<unsigned char>(right >> (8 * i));
      }
      unsigned char stored[kCipherBlockBytes];
      hexToBytes(text.c_str() + g * kCipherGroupDigits, kCipherGroupDigits, stored);
      ASSERT_EQ(std::memcmp(again, stored, sizeof again), 0) << "group " << g;
    }
  }
}
