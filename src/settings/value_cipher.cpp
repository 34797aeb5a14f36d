#include "settings/value_cipher.h"

#include <cstring>

namespace {
/// Upper-case digits of the stored form.
constexpr char kHexDigits[] = "0123456789ABCDEF";

/// The cipher words of a block: each half of the bytes read little-endian.
void bytesToWords(const unsigned char* b, uint32_t& left, uint32_t& right) {
  left = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  right = uint32_t{b[4]} | uint32_t{b[5]} << 8 | uint32_t{b[6]} << 16 | uint32_t{b[7]} << 24;
}

/// The inverse of bytesToWords.
void wordsToBytes(uint32_t left, uint32_t right, unsigned char* b) {
  for (int i = 0; i < 4; ++i) {
    b[i] = static_cast<unsigned char>(left >> (8 * i));
    b[4 + i] = static_cast<unsigned char>(right >> (8 * i));
  }
}

}  // namespace

KeyedCipher::KeyedCipher(const char* key) {
  const size_t length = key != nullptr ? std::strlen(key) : 0;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  // Fuzz builds only: the schedule of the built-in key is kept between calls,
  // since running it for every input would take most of a fuzz run's time. A
  // program must not keep a key's state, so no other build does this.
  static BlowfishState settingsKeyState;
  static bool scheduled = false;
  if (length == sizeof kSettingsKey - 1 && std::memcmp(key, kSettingsKey, length) == 0) {
    if (!scheduled) blowfishInit(settingsKeyState, reinterpret_cast<const unsigned char*>(key), length);
    scheduled = true;
    state_ = settingsKeyState;
    return;
  }
#endif
  blowfishInit(state_, reinterpret_cast<const unsigned char*>(key), length);
}

void wipeBytes(void* p, size_t n) {
#if defined(__GNUC__)
  // A plain memset, then a barrier that claims to read the bytes, so the
  // compiler cannot drop the stores as dead: as fast as memset, where a
  // volatile loop stores byte by byte.
  std::memset(p, 0, n);
  __asm__ __volatile__("" : : "r"(p) : "memory");
#else
  volatile unsigned char* bytes = static_cast<volatile unsigned char*>(p);
  for (size_t i = 0; i < n; ++i) bytes[i] = 0;
#endif
}

bool isCipherText(std::string_view text) {
  return !text.empty() && text.size() % kCipherGroupDigits == 0 &&
         text.find_first_not_of(kHexDigits) == std::string_view::npos;
}

void hexToBytes(const char* text, size_t count, unsigned char* out) {
  // Unsigned arithmetic wraps modulo 2^32, a multiple of 256, so the low byte
  // is the value modulo 256 even where a character's value is "negative".
  auto value = [](char c) -> uint32_t {
    const uint32_t code = static_cast<unsigned char>(c);
    return (code >= 'A' && code <= 'F') ? code - 55 : code - 48;
  };
  for (size_t i = 0; i < count / 2; ++i) {
    out[i] = static_cast<unsigned char>(16 * value(text[2 * i]) + value(text[2 * i + 1]));
  }
}

void decryptValue(const char* cipherText, char* out, size_t outCap, const char* key) {
  const KeyedCipher cipher(key);
  const size_t length = cipherText != nullptr ? std::strlen(cipherText) : 0;
  // Only whole groups: a cut-off last group has no defined plain text, and
  // reading 16 digits of it would run past the text.
  size_t groups = length / kCipherGroupDigits;
  const size_t fit = outCap > 0 ? (outCap - 1) / kCipherBlockBytes : 0;
  if (groups > fit) groups = fit;

  unsigned char block[kCipherBlockBytes];
  for (size_t g = 0; g < groups; ++g) {
    hexToBytes(cipherText + g * kCipherGroupDigits, kCipherGroupDigits, block);
    uint32_t left = 0;
    uint32_t right = 0;
    bytesToWords(block, left, right);
    blowfishDecipher(cipher.state(), left, right);
    wordsToBytes(left, right, block);
    std::memcpy(out + g * kCipherBlockBytes, block, sizeof block);
  }
  if (outCap > 0) out[groups * kCipherBlockBytes] = '\0';
  wipeBytes(block, sizeof block);
}

int encryptValue(std::string_view plain, char* out, size_t outCap, const char* key) {
  const size_t blocks = (plain.size() + kCipherBlockBytes - 1) / kCipherBlockBytes;
  if (outCap == 0) return -1;
  if (blocks > (outCap - 1) / kCipherGroupDigits) {
    out[0] = '\0';
    return -1;
  }
  const KeyedCipher cipher(key);
  unsigned char block[kCipherBlockBytes];
  for (size_t g = 0; g < blocks; ++g) {
    std::memset(block, 0, sizeof block);
    const size_t start = g * kCipherBlockBytes;
    const size_t n = plain.size() - start < sizeof block ? plain.size() - start : sizeof block;
    std::memcpy(block, plain.data() + start, n);
    uint32_t left = 0;
    uint32_t right = 0;
    bytesToWords(block, left, right);
    blowfishEncipher(cipher.state(), left, right);
    wordsToBytes(left, right, block);
    char* digits = out + g * kCipherGroupDigits;
    for (size_t i = 0; i < sizeof block; ++i) {
      digits[2 * i] = kHexDigits[block[i] >> 4];
      digits[2 * i + 1] = kHexDigits[block[i] & 0x0F];
    }
  }
  out[blocks * kCipherGroupDigits] = '\0';
  wipeBytes(block, sizeof block);
  return 0;
}
