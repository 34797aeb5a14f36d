#include "settings/ini_reader.h"

#include <cstring>
#include <string_view>

#include "common/field.h"
#include "common/text_file.h"
#include "settings/value_cipher.h"

namespace {
/// Field separator of both lines of a pair.
constexpr char kSeparator = ';';

void clearPair(SettingsPair& pair) {
  pair.number = 0;
  pair.section[0] = '\0';
  pair.key[0] = '\0';
  pair.value[0] = '\0';
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

/// The decimal value of a number field as atoi reads it: leading white space,
/// one sign, then digits up to the first other character; 0 without digits.
/// The whole field is read, however long, so that leading zeros or blanks
/// cannot change its value. A value outside the 32-bit range is clamped to
/// INT32_MIN or INT32_MAX rather than wrapped, so that no oversized number can
/// turn into another one (least of all into 0, which matches every request
/// of the run).
int32_t parseNumber(std::string_view field) {
  size_t i = 0;
  while (i < field.size() && isBlank(field[i])) ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
    negative = field[i] == '-';
    ++i;
  }
  constexpr int64_t kLimit = int64_t{INT32_MAX} + 1;  // |INT32_MIN|
  int64_t value = 0;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
    value = value * 10 + (field[i] - '0');
    if (value > kLimit) value = kLimit;  // saturated; stays within int64
  }
  if (negative) return static_cast<int32_t>(-value);  // -kLimit is INT32_MIN
  return static_cast<int32_t>(value > INT32_MAX ? INT32_MAX : value);
}

/// Reads pairs from where file stands until one answers the request for key;
/// leaves it in pair, its value still cipher text. Returns 0, or -1 when none
/// answers (pair then all empty and 0).
int findPair(TextReader& file, const char* key, SettingsPair& pair) {
  clearPair(pair);
  char firstLine[kIniFirstLineCapacity];
  // One byte less than the capacity, so a line as read is at most 399
  // characters and the line feed parseSettingsPair may add still fits.
  char secondLine[kIniSecondLineCapacity];
  for (;;) {
    file.readLine(firstLine, sizeof firstLine);
    // A last line without a partner is never examined.
    if (!file.readLine(secondLine, sizeof secondLine - 1)) break;
    parseSettingsPair(firstLine, secondLine, pair);
    if (answersRequest(pair, key)) return 0;
  }
  clearPair(pair);
  return -1;
}

/// Replaces the cipher text in pair.value by its plain text.
void decipherPairValue(SettingsPair& pair) {
  // The value holds at most 200 digits, which decipher to at most 100
  // bytes and the zero byte; a buffer as large as the field is ample.
  char plain[kIniFieldCapacity];
  decryptValue(pair.value, plain, sizeof plain, kSettingsKey);
  copyField(pair.value, plain);
  wipeBytes(plain, sizeof plain);
}
}  // namespace

int32_t strPos(const char* text, char ch, int32_t n) {
  int32_t count = 0;
  int32_t last = -1;
  for (int32_t i = 0; text[i] != '\0'; ++i) {
    if (text[i] != ch) continue;
    last = i;
    if (++count == n) return i;
  }
  return last;
}

void strField(const char* text, int32_t start, int32_t length, char* dest, size_t destCap) {
  if (destCap == 0) return;
  dest[0] = '\0';
  const size_t textLength = std::strlen(text);
  // The pair rules never ask for a start outside the text; should one come,
  // it gives the empty text instead of a read past the end.
  if (length < 0 || start < 0 || static_cast<size_t>(start) > textLength) return;
  const size_t available = textLength - static_cast<size_t>(start);
  size_t count = available;
  if (length > 0 && static_cast<size_t>(length) < available) count = static_cast<size_t>(length);
  copyText(dest, destCap, std::string_view(text + start, count));
}

void parseSettingsPair(const char* firstLine, const char* secondLine, SettingsPair& pair) {
  clearPair(pair);

  const int32_t p1 = strPos(firstLine, kSeparator, 1);
  const int32_t p2 = strPos(firstLine, kSeparator, 2);
  strField(firstLine, p1 + 1, p2 - p1 - 1, pair.section);

  // A second line as read holds at most 399 characters; the copy keeps room
  // for the line feed a last line without one is given.
  char line[kIniSecondLineCapacity];
  copyText(line, sizeof line - 1, secondLine);
  if (std::strchr(line, '\n') == nullptr) appendText(line, sizeof line, "\n");

  const int32_t q1 = strPos(line, kSeparator, 1);
  if (q1 > 0) pair.number = parseNumber(std::string_view(line, q1));

  const int32_t q2 = strPos(line, kSeparator, 2);
  strField(line, q1 + 1, q2 - q1 - 1, pair.key);

  if (q1 < 0) {
    strField(line, 0, 0, pair.value);
  } else {
    const int32_t lineEnd = strPos(line, '\n', 1);
    strField(line, q2 + 1, lineEnd - q2 - 1, pair.value);
  }
}

bool answersRequest(const SettingsPair& pair, const char* key) {
  return pair.section[0] == '\0' || std::strcmp(pair.key, key != nullptr ? key : "") == 0 || pair.number == 0;
}

int readSettingsPair(const char* path, const char* key, SettingsPair& pair) {
  clearPair(pair);
  TextReader file;
  if (file.open(path) != 0) return -1;
  return readSettingsPair(file, key, pair);
}

int readSettingsPair(TextReader& file, const char* key, SettingsPair& pair) {
  if (findPair(file, key, pair) != 0) return -1;
  decipherPairValue(pair);
  return 0;
}

int readSetting(const char* path, const char* key, char* value, size_t cap) {
  SettingsPair pair;
  clearPair(pair);
  TextReader file;
  int result = file.open(path) == 0 ? findPair(file, key, pair) : -1;
  if (result == 0) {
    // Deciphered all the same: the run connects with what it has, as it did.
    if (!isCipherText(fieldView(pair.value))) result = -1;
    decipherPairValue(pair);
  }
  copyText(value, cap, fieldView(pair.value));
  wipeBytes(&pair, sizeof pair);
  return result;
}
