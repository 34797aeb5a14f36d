#include "settings/ini_reader.h"

#include <cstring>
#include <string_view>

#include "booking/text_file.h"
#include "common/field.h"
#include "settings/value_cipher.h"

char iniSection[iniFieldCapacity];
char iniKey[iniFieldCapacity];
int32_t iniNumber;
char iniValue[iniFieldCapacity];

namespace {
/// Field separator of both lines of a pair.
constexpr char kSeparator = ';';

void clearPair() {
  iniNumber = 0;
  iniSection[0] = '\0';
  iniKey[0] = '\0';
  iniValue[0] = '\0';
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

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

bool sameText(const char* field, const char* request) {
  return std::strcmp(field, request != nullptr ? request : "") == 0;
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

void strField(const char* text, int32_t start, int32_t length, char* dest,
              size_t destCap) {
  if (destCap == 0) return;
  dest[0] = '\0';
  const size_t textLength = std::strlen(text);
  // The pair rules never ask for a start outside the text; should one come,
  // it gives the empty text instead of a read past the end.
  if (length < 0 || start < 0 || static_cast<size_t>(start) > textLength)
    return;
  const size_t available = textLength - static_cast<size_t>(start);
  size_t count = available;
  if (length > 0 && static_cast<size_t>(length) < available)
    count = static_cast<size_t>(length);
  copyText(dest, destCap, std::string_view(text + start, count));
}

void iniParsePair(const char* firstLine, const char* secondLine) {
  clearPair();

  const int32_t p1 = strPos(firstLine, kSeparator, 1);
  const int32_t p2 = strPos(firstLine, kSeparator, 2);
  strField(firstLine, p1 + 1, p2 - p1 - 1, iniSection);

  // A second line as read holds at most 399 characters; the copy keeps room
  // for the line feed a last line without one is given.
  char line[iniSecondLineCapacity];
  copyText(line, sizeof line - 1, secondLine);
  if (std::strchr(line, '\n') == nullptr) appendText(line, sizeof line, "\n");

  const int32_t q1 = strPos(line, kSeparator, 1);
  if (q1 > 0) iniNumber = parseNumber(std::string_view(line, q1));

  const int32_t q2 = strPos(line, kSeparator, 2);
  strField(line, q1 + 1, q2 - q1 - 1, iniKey);

  if (q1 < 0) {
    strField(line, 0, 0, iniValue);
  } else {
    const int32_t lineEnd = strPos(line, '\n', 1);
    strField(line, q2 + 1, lineEnd - q2 - 1, iniValue);
  }
}

bool iniPairMatches(const char* section, const char* keyName, int32_t number) {
  return sameText(iniSection, section) || sameText(iniKey, keyName) ||
         iniNumber == number;
}

void iniGetValue(const char* section, const char* keyName, int32_t number,
                 const char* path) {
  clearPair();
  TextReader file;
  if (file.open(path) == 0) iniGetValue(section, keyName, number, file);
}

void iniGetValue(const char* section, const char* keyName, int32_t number,
                 TextReader& file) {
  clearPair();
  char firstLine[iniFirstLineCapacity];
  // One byte less than the capacity, so a line as read is at most 399
  // characters and the line feed iniParsePair may add still fits.
  char secondLine[iniSecondLineCapacity];
  for (;;) {
    file.readLine(firstLine, sizeof firstLine);
    // A last line without a partner is never examined.
    if (!file.readLine(secondLine, sizeof secondLine - 1)) break;
    iniParsePair(firstLine, secondLine);
    if (!iniPairMatches(section, keyName, number)) {
      clearPair();
      continue;
    }
    // The value holds at most 200 digits, which decipher to at most 100
    // bytes and the zero byte; a buffer as large as the field is ample.
    char plain[iniFieldCapacity];
    decryptValue(iniValue, plain, sizeof plain, settingsKey);
    copyField(iniValue, plain);
    wipeBytes(plain, sizeof plain);
    return;
  }
  clearPair();
}
