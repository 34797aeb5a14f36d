#include "settings/value_cipher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "settings/settings_test_files.h"

namespace {
/// Reverses the bytes within each 4-byte half of every block of a hex text:
/// the published byte order turned into the one this program stores.
std::string swapHalves(const std::string& hex) {
  std::string out = hex;
  for (size_t half = 0; half + 8 <= hex.size(); half += 8)
    for (size_t b = 0; b < 4; ++b) out.replace(half + 2 * b, 2, hex.substr(half + 6 - 2 * b, 2));
  return out;
}

std::string bytesOfHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
  return out;
}

/// decryptValue into a buffer of exactly the size its contract asks for, so
/// that AddressSanitizer sees any write past it.
std::string decrypt(const std::string& cipher, const char* key = kSettingsKey) {
  std::vector<char> out(cipher.size() / 2 + 1, '\x55');
  decryptValue(cipher.c_str(), out.data(), out.size(), key);
  return std::string(out.data());
}

struct CipherVector {
  const char* key;  // as text: vectors whose keys hold no zero byte
  const char* plain;
  const char* cipher;
};

const CipherVector kVectors[] = {
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"F0", "FEDCBA9876543210", "F9AD597C49DB005E"},
    {"F0E1D2C3B4A59687", "FEDCBA9876543210", "E87A244E2CC85E82"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F", "FEDCBA9876543210", "93142887EE3BE15C"},
};
}  // namespace

TEST(HexToBytes, DecodesPairsHighHalfFirstByPlainArithmetic) {
  unsigned char out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  hexToBytes("0A1BFF", 6, out);
  EXPECT_EQ(out[0], 0x0A);
  EXPECT_EQ(out[1], 0x1B);
  EXPECT_EQ(out[2], 0xFF);
  EXPECT_EQ(out[3], 0xEE);  // count/2 bytes only

  hexToBytes("0a", 2, out);  // lower case is no hex digit here: 'a' is 49
  EXPECT_EQ(out[0], 49);
  hexToBytes("G0", 2, out);  // ('G' - 48) * 16 = 368, modulo 256
  EXPECT_EQ(out[0], 368 % 256);
  hexToBytes(" 1", 2, out);  // (32 - 48) * 16 + 1 = -255, modulo 256
  EXPECT_EQ(out[0], 1);
  hexToBytes("\xE4" "0", 2, out);  // a Windows-1252 letter: (228 - 48) * 16
  EXPECT_EQ(out[0], (228 - 48) * 16 % 256);

  out[0] = out[1] = 0xEE;
  hexToBytes("123", 3, out);  // an odd count drops the last character
  EXPECT_EQ(out[0], 0x12);
  EXPECT_EQ(out[1], 0xEE);
}

TEST(DecryptValue, PublishedVectorsDecipherWithEachHalfReversed) {
  for (const CipherVector& v : kVectors) {
    SCOPED_TRACE(v.key);
    const std::string key = bytesOfHex(v.key);
    const std::string stored = swapHalves(v.cipher);
    EXPECT_EQ(decrypt(stored, key.c_str()), bytesOfHex(swapHalves(v.plain)));
    // The published byte order does not decipher to the plain text here.
    EXPECT_NE(decrypt(v.cipher, key.c_str()), bytesOfHex(v.plain));
  }
}

TEST(EncryptValue, PublishedVectorsEncipherWithEachHalfReversed) {
  for (const CipherVector& v : kVectors) {
    SCOPED_TRACE(v.key);
    const std::string key = bytesOfHex(v.key);
    char out[17];
    ASSERT_EQ(encryptValue(bytesOfHex(swapHalves(v.plain)), out, sizeof out, key.c_str()), 0);
    EXPECT_EQ(std::string(out), swapHalves(v.cipher));
    }
}

TEST(DecryptValue, BlockCountsAndTheZeroByte) {
  EXPECT_EQ(decrypt(""), "");

  // 32 digits: 16 bytes and then the zero byte, at position 16.
  const std::string two = cipherHex("ABCDEFGHIJKLMNOP");
  ASSERT_EQ(two.size(), 32u);
  std::vector<char> out(17, 'x');
  decryptValue(two.c_str(), out.data(), out.size(), kSettingsKey);
  EXPECT_EQ(std::string(out.data(), 16), "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(out[16], '\0');

  // A zero byte inside a block ends the setting's text there.
  EXPECT_EQ(decrypt(cipherHex(std::string("ab\0cdefghij", 11))), "ab");
}

TEST(DecryptValue, DeciphersWholeGroupsOnly) {
  const std::string value = "Kennwort mit \xDCmlaut; und mehr";
  const std::string hex = cipherHex(value);
  ASSERT_EQ(hex.size(), 64u);
  // A trailing part group is left out rather than read past the text.
  EXPECT_EQ(decrypt(hex + "0123456789ABCDE"), value);
  EXPECT_EQ(decrypt(hex.substr(0, 63)), value.substr(0, 24));
  EXPECT_EQ(decrypt("\n"), "");  // an empty value field as the reader sees it
}

TEST(DecryptValue, WritesNoMoreThanTheBufferHolds) {
  const std::string hex = cipherHex("0123456789abcdefXYZ");  // three blocks
  std::vector<char> out(12, 'x');  // room for one block and the zero byte
  decryptValue(hex.c_str(), out.data(), out.size(), kSettingsKey);
  EXPECT_EQ(std::string(out.data()), "01234567");
  EXPECT_EQ(std::string(out.data() + 9, 3), "xxx");
  char none = 'x';
  decryptValue(hex.c_str(), &none, 0, kSettingsKey);
  EXPECT_EQ(none, 'x');
}

TEST(EncryptValue, ZeroFillsTheLastBlockAndRoundTrips) {
  EXPECT_EQ(cipherHex(""), "");
  EXPECT_EQ(cipherHex("12345678").size(), 16u);
  EXPECT_EQ(cipherHex("123456789").size(), 32u);
  // Zero-filling: "abc" enciphers as "abc" followed by five zero bytes.
  EXPECT_EQ(cipherHex("abc"), cipherHex(std::string("abc\0\0\0\0\0", 8)));
  const std::string hex = cipherHex("x");
  EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);

  for (const std::string& plain : std::vector<std::string>{"DSN_KVS", "sa", "Gr\xFC\xDF" "e; \xE9t\xE9 \x80 100", std::string(96, 'p')}) {
    EXPECT_EQ(decrypt(cipherHex(plain)), plain);
  }
}

TEST(EncryptValue, RefusesABufferTooSmall) {
  char out[17] = "untouched";
  EXPECT_EQ(encryptValue("123456789", out, sizeof out, kSettingsKey), -1);
  EXPECT_EQ(out[0], '\0');
  char none = 'x';
  EXPECT_EQ(encryptValue("1", &none, 0, kSettingsKey), -1);
  EXPECT_EQ(none, 'x');
  EXPECT_EQ(encryptValue("12345678", out, sizeof out, kSettingsKey), 0);
}

TEST(DecryptValue, DependsOnTheKey) {
  const std::string hex = cipherHex("geheim");
  EXPECT_NE(decrypt(hex, "QWELMAS"), "geheim");
  EXPECT_EQ(decrypt(hex, "QWELMAR"), "geheim");
}

TEST(KeyedCipher, HoldsTheKeyedStateAndWipesItWhenItGoes) {
  // The cipher is built in storage the test owns, so that the bytes it
  // leaves behind can be looked at after its destructor ran.
  alignas(KeyedCipher) unsigned char storage[sizeof(KeyedCipher)];
  std::memset(storage, 0x55, sizeof storage);
  auto* cipher = new (storage) KeyedCipher(kSettingsKey);
  BlowfishState expected;
  blowfishInit(expected, reinterpret_cast<const unsigned char*>(kSettingsKey), sizeof kSettingsKey - 1);
  ASSERT_EQ(std::memcmp(&cipher->state(), &expected, sizeof expected), 0);
  cipher->~KeyedCipher();
  EXPECT_TRUE(std::all_of(storage, storage + sizeof storage, [](unsigned char b) { return b == 0; }));
  wipeBytes(&expected, sizeof expected);
}

TEST(WipeBytes, ZeroesExactlyTheGivenBytes) {
  unsigned char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  wipeBytes(bytes + 2, 4);
  const unsigned char expected[8] = {1, 2, 0, 0, 0, 0, 7, 8};
  EXPECT_EQ(std::memcmp(bytes, expected, sizeof bytes), 0);
  wipeBytes(bytes, 0);  // nothing to do, nothing touched
  EXPECT_EQ(bytes[0], 1);
}
