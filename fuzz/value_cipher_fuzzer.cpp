// The value cipher on arbitrary text: deciphering writes exactly what its
// buffer holds (the buffer is sized as the callers size it, on the heap, so
// a byte too far is an AddressSanitizer report), hexToBytes agrees with the
// plain arithmetic, and enciphering then deciphering gives the text back.

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "settings/value_cipher.h"

namespace {
unsigned char digitValue(char c) {
  const unsigned char code = static_cast<unsigned char>(c);
  return static_cast<unsigned char>(code >= 'A' && code <= 'F' ? code - 55 : code - 48);
}

/// The input cut at its first zero byte: what a C text of it holds.
std::string asText(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  return std::string(bytes.substr(0, bytes.find('\0')));
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A fuzz build builds the built-in key's cipher state once and keeps it:
  // the kept state must encipher as the one built for the first call did.
  char built[3 * kCipherGroupDigits + 1];
  char kept[sizeof built];
  const std::string_view text = "kept as it was built";
  require(encryptValue(text, built, sizeof built, kSettingsKey) == 0, "first encipherment");
  require(encryptValue(text, kept, sizeof kept, kSettingsKey) == 0, "second encipherment");
  require(std::strcmp(built, kept) == 0, "the kept key state enciphers as the built one");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // hexToBytes on every byte, zero bytes included, into exactly size/2 bytes.
  std::vector<unsigned char> bytes(size / 2);
  hexToBytes(reinterpret_cast<const char*>(data), size, bytes.data());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto expected = static_cast<unsigned char>(16 * digitValue(static_cast<char>(data[2 * i])) +
                                                     digitValue(static_cast<char>(data[2 * i + 1])));
    require(bytes[i] == expected, "hexToBytes is 16 * first + second modulo 256");
  }

  // Deciphering as the settings reader calls it, into length/2 + 1 bytes.
  const std::string cipher = asText(data, size);
  std::vector<char> plain(cipher.size() / 2 + 1, '\x55');
  decryptValue(cipher.c_str(), plain.data(), plain.size(), kSettingsKey);
  require(plain[cipher.size() / 16 * 8] == '\0', "plain text terminated after the whole groups");

  // A key of the input's own bytes: the key schedule takes any length. Its
  // 521 encipherments cost some thirty times the rest of an input, so only
  // one input in 32 (by its first byte) brings one; the others use the
  // built-in key, whose schedule a fuzz build keeps.
  std::vector<char> tight(cipher.size() / 16 * 8 + 1);
  const std::string key = size > 0 && data[0] % 32 == 1 ? cipher.substr(0, cipher.size() % 57) : kSettingsKey;
  decryptValue(cipher.c_str(), tight.data(), tight.size(), key.c_str());
  require(tight.back() == '\0', "a buffer of exactly the whole groups suffices");

  // Round trip: what encryptValue writes, decryptValue reads back.
  const std::string text = cipher.substr(0, 96);
  char stored[2 * 96 + kCipherGroupDigits + 1];
  require(encryptValue(text, stored, sizeof stored, kSettingsKey) == 0, "96 characters encipher");
  require(std::strlen(stored) % kCipherGroupDigits == 0, "cipher text of whole groups");
  char back[sizeof stored / 2 + 1];
  decryptValue(stored, back, sizeof back, kSettingsKey);
  require(text == back, "deciphering undoes enciphering");
  return 0;
}
