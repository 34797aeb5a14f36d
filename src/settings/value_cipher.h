#pragma once
// Settings values are kept as upper-case hexadecimal Blowfish cipher text
// under a key built into the program, block by block with no chaining. The
// eight bytes of a block form the two cipher words little-endian (byte 0 is
// the low byte of the left word), not big-endian as the published cipher
// does, so text made by a standard Blowfish tool does not decipher here.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "settings/blowfish.h"

/// The key every settings value is enciphered with.
inline constexpr char kSettingsKey[] = "QWELMAR";
/// Bytes of one cipher block.
inline constexpr size_t kCipherBlockBytes = 8;
/// Hexadecimal digits of one cipher block.
inline constexpr size_t kCipherGroupDigits = 2 * kCipherBlockBytes;

/// Overwrites n bytes at p with zeros in a way the compiler does not drop as
/// a dead store, for buffers that held key material or plain text.
void wipeBytes(void* p, size_t n);

/// A cipher state keyed for one call: it lives on the caller's stack and is
/// wiped when it goes, so no trace of the key outlives the call.
class KeyedCipher {
 public:
  /// Keys the state with the zero-terminated key (nullptr: no key bytes).
  explicit KeyedCipher(const char* key);
  KeyedCipher(const KeyedCipher&) = delete;
  KeyedCipher& operator=(const KeyedCipher&) = delete;
  ~KeyedCipher() { wipeBytes(&state_, sizeof state_); }

  /// The keyed state.
  const BlowfishState& state() const { return state_; }

 private:
  BlowfishState state_;
};

/// Converts the first count characters of text into count/2 bytes, two
/// characters (high half first) to a byte. "A"-"F" count 10-15 and every other
/// character its code minus '0', modulo 256, so nothing is rejected: a
/// lower-case "a" counts 49, not 10.
void hexToBytes(const char* text, size_t count, unsigned char* out);

/// True when text is cipher text as encryptValue writes it: one or more
/// whole groups of 16 upper-case hexadecimal digits. Returns true or false.
bool isCipherText(std::string_view text);

/// Deciphers the zero-terminated cipherText with the zero-terminated key into
/// out (capacity outCap): 8 bytes for each whole group of 16 digits, then a
/// zero byte. A trailing part group is ignored, and so is any group that would
/// not fit into out with the zero byte, so nothing is read or written past
/// either text; strlen(cipherText)/2 + 1 bytes always suffice.
void decryptValue(const char* cipherText, char* out, size_t outCap, const char* key);

/// Enciphers plain, zero-filled to whole blocks (the empty text gives the
/// empty cipher text), with the zero-terminated key into out as upper-case
/// hexadecimal text. Returns 0, or -1 with out emptied when out cannot hold 16
/// digits for every block and the terminator.
int encryptValue(std::string_view plain, char* out, size_t outCap, const char* key);
