#pragma once
// How dulmar-ini changes a settings file: it finds the lines exactly as the
// program's reader reads them, so that it knows which bytes of the file make
// up which pair, and writes a new pair where the program will meet it first
// while every other byte stays as it was.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_reader.h"
#include "settings/value_cipher.h"

/// Longest value a settings field carries: the whole 16-digit groups of a
/// 200-character field, 8 characters each.
inline constexpr size_t kIniMaxValueLength = (kIniFieldCapacity - 1) / kCipherGroupDigits * kCipherBlockBytes;
/// Longest key name a pair field keeps whole.
inline constexpr size_t kIniMaxKeyLength = kIniFieldCapacity - 1;
/// Section of the pairs dulmar-ini writes; any non-empty one would do.
inline constexpr char kIniWrittenSection[] = "DULMAR";
/// Number of the pairs dulmar-ini writes: not 0, which answers every request.
inline constexpr char kIniWrittenNumber[] = "1";

/// One line as the settings reader reads it, and where its bytes lie.
struct ReaderLine {
  /// Offset of its first byte in the file.
  size_t begin;
  /// Offset just past its last byte (a CR LF counted whole).
  size_t end;
  /// The line as read: CR LF as one LF.
  std::string text;
};

/// The lines of a settings file in the reader's terms.
struct ReaderLayout {
  /// Every line the reader would read, in order, at most 199 characters for
  /// first lines of pairs and 399 for second lines.
  std::vector<ReaderLine> lines;
  /// Offset where the reader stops: the first byte 0x1A, or the file's size.
  size_t inputEnd;
};

/// Splits raw file bytes into lines exactly as the settings reader reads
/// them (CR LF as LF, 0x1A ends the input, lines cut at 199 and 399).
ReaderLayout readerLayout(std::string_view raw);

/// Index (from 0) of the first pair that answers the run's request for key
/// (empty section, number 0), with that pair's fields in pair (its value not
/// deciphered). Returns -1 when none does (pair then all empty).
int findAnsweringPair(const ReaderLayout& layout, const char* key, SettingsPair& pair);

/// Why value cannot be stored, or nullptr when it can: at most 96 characters,
/// no zero byte and no line end.
const char* settingValueProblem(std::string_view value);

/// Why key cannot be written as a key name, or nullptr when it can: not
/// empty, at most 200 characters, no ";", zero byte or line end.
const char* keyNameProblem(std::string_view key);

/// The file raw with cipherHex stored for key, so that the run's request for
/// key meets it first. The pair answering that request now is changed in
/// place when it is the pair of key with a section and a non-zero number;
/// otherwise a pair of section DULMAR and number 1 replaces the pair of key
/// that answers every request, or goes in front of the other pair that
/// answers first, or after the last pair. Every other byte is kept; the new
/// lines end with CR LF.
std::string withSetting(std::string_view raw, const char* key, const char* cipherHex);
