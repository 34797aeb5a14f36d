#pragma once
// The system's settings file: pairs of lines with ";"-separated fields. The
// first line of a pair carries the section (its second field); the second
// line the number, the key and, after the second separator, the value as
// hexadecimal cipher text. A request is answered by the first pair whose
// section, key or number equals the one asked for; the program always asks
// with the empty section and number 0, so a pair with either answers it.

#include <cstddef>
#include <cstdint>

struct TextReader;

/// Capacity of each text pair field (200 characters and the terminator).
inline constexpr size_t kIniFieldCapacity = 201;
/// Capacity of a pair's first line as read (199 characters and terminator).
inline constexpr size_t kIniFirstLineCapacity = 200;
/// Capacity of a pair's second line: 399 characters as read, a line feed
/// appended when it had none, and the terminator.
inline constexpr size_t kIniSecondLineCapacity = 401;

/// One pair of the settings file as read.
struct SettingsPair {
  /// Second field of the first line.
  char section[kIniFieldCapacity];
  /// Key name: the second field of the second line.
  char key[kIniFieldCapacity];
  /// The second line's first field, read as atoi reads it (clamped).
  int32_t number;
  /// The rest of the second line, cipher text as read; readSettingsPair
  /// leaves the deciphered value here.
  char value[kIniFieldCapacity];
};

/// Position (from 0) of the n-th ch in text; with fewer than n, the position
/// of the last one; -1 when there is none or text is empty.
int32_t strPos(const char* text, char ch, int32_t n);

/// Copies length characters of text from position start into dest (capacity
/// destCap) and terminates it; length 0 copies to the end of text, a negative
/// length gives the empty text. Never reads past the end of text (a start
/// outside it gives the empty text) and cuts the copy at destCap - 1.
void strField(const char* text, int32_t start, int32_t length, char* dest, size_t destCap);

/// strField into a fixed char array; the capacity comes from the array.
template <size_t N>
void strField(const char* text, int32_t start, int32_t length, char (&dest)[N]) {
  strField(text, start, length, dest, N);
}

/// Fills pair from the two lines of one pair as read from the file (a
/// missing line feed of the second line is supplied). Fields longer than 200
/// characters are cut at 200.
void parseSettingsPair(const char* firstLine, const char* secondLine, SettingsPair& pair);

/// True when the pair answers the run's request for key: its section is
/// empty, its key name equals key (byte for byte, case counting), or its
/// number is 0.
bool answersRequest(const SettingsPair& pair, const char* key);

/// Reads the first pair of the file at path that answers the request for key
/// into pair, its value deciphered. Returns 0, or -1 when the file cannot be
/// opened or no pair answers (pair then all empty and 0).
int readSettingsPair(const char* path, const char* key, SettingsPair& pair);

/// The deciphered value for key from the file at path, into value (capacity
/// cap, cut there); empty when readSettingsPair finds none. Returns 0, or -1
/// when no pair answers or the answering pair's value is no cipher text of
/// whole groups (value then holds what its whole groups decipher to).
int readSetting(const char* path, const char* key, char* value, size_t cap);

/// readSetting into a fixed field.
template <size_t N>
int readSetting(const char* path, const char* key, char (&value)[N]) {
  return readSetting(path, key, value, N);
}

/// readSettingsPair on a settings file already open in file, read from where
/// it stands (the fuzz target feeds it from memory).
int readSettingsPair(TextReader& file, const char* key, SettingsPair& pair);
