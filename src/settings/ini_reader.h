#pragma once
// The system's settings file: pairs of lines with ";"-separated fields. The
// first line of a pair carries the section (its second field); the second
// line the number, the key and, after the second separator, the value as
// hexadecimal cipher text. A request is answered by the first pair whose
// section, key or number equals the one asked for.

#include <cstddef>
#include <cstdint>

struct TextReader;

/// Capacity of each text pair field (200 characters and the terminator).
inline constexpr size_t iniFieldCapacity = 201;
/// Capacity of a pair's first line as read (199 characters and terminator).
inline constexpr size_t iniFirstLineCapacity = 200;
/// Capacity of a pair's second line: 399 characters as read, a line feed
/// appended when it had none, and the terminator.
inline constexpr size_t iniSecondLineCapacity = 401;

/// Section of the pair under examination, or of the pair that matched.
extern char iniSection[iniFieldCapacity];
/// Key name of that pair.
extern char iniKey[iniFieldCapacity];
/// Number of that pair.
extern int32_t iniNumber;
/// Value of that pair; after a match, the deciphered value; otherwise empty.
extern char iniValue[iniFieldCapacity];

/// Position (from 0) of the n-th ch in text; with fewer than n, the position
/// of the last one; -1 when there is none or text is empty.
int32_t strPos(const char* text, char ch, int32_t n);

/// Copies length characters of text from position start into dest (capacity
/// destCap) and terminates it; length 0 copies to the end of text, a negative
/// length gives the empty text. Never reads past the end of text (a start
/// outside it gives the empty text) and cuts the copy at destCap - 1.
void strField(const char* text, int32_t start, int32_t length, char* dest,
              size_t destCap);

/// strField into a fixed char array; the capacity comes from the array.
template <size_t N>
void strField(const char* text, int32_t start, int32_t length,
              char (&dest)[N]) {
  strField(text, start, length, dest, N);
}

/// Fills iniSection, iniKey, iniNumber and iniValue from the two lines of one
/// pair as read from the file (a missing line feed of the second line is
/// supplied). Fields longer than 200 characters are cut at 200.
void iniParsePair(const char* firstLine, const char* secondLine);

/// True when the pair fields match the request: the section, the key name or
/// the number is equal (texts byte for byte, case counting).
bool iniPairMatches(const char* section, const char* keyName, int32_t number);

/// Looks up the first pair of the file at path that matches the request and
/// leaves its deciphered value in iniValue, the rest of the pair in the other
/// pair fields. When the file cannot be opened or nothing matches, iniValue is
/// empty, iniSection and iniKey are empty and iniNumber is 0.
void iniGetValue(const char* section, const char* keyName, int32_t number,
                 const char* path);
/// The same on a settings file already open in file.
void iniGetValue(const char* section, const char* keyName, int32_t number,
                 TextReader& file);
