#pragma once
// The Blowfish block cipher (16 rounds, published tables and key schedule) on
// one 64-bit block given as two 32-bit words. How the words are formed from
// bytes is the caller's business (see value_cipher.h).

#include <cstddef>
#include <cstdint>

#include "settings/blowfish_tables.h"

/// Key-dependent cipher state: 1042 words, nothing else, so that clearing it
/// clears every trace of the key.
struct BlowfishState {
  /// P[0] to P[17].
  uint32_t p[kBlowfishPWords];
  /// S0 to S3.
  uint32_t s[kBlowfishSBoxes][kBlowfishSWords];
};
static_assert(sizeof(BlowfishState) == 1042 * sizeof(uint32_t),
              "the state is exactly the P-array and the S-boxes");

/// Builds state from the initial tables and keyLength key bytes, cycling
/// through the key. An empty key (or a null one) mixes no key bytes in; the
/// 521 encipherments of the schedule still run.
void blowfishInit(BlowfishState& state, const unsigned char* key,
                  size_t keyLength);

/// The round function F of x under state. Returns the 32-bit result.
uint32_t blowfishF(const BlowfishState& state, uint32_t x);

/// Enciphers the block (left, right) in place.
void blowfishEncipher(const BlowfishState& state, uint32_t& left,
                      uint32_t& right);

/// Deciphers the block (left, right) in place; undoes blowfishEncipher.
void blowfishDecipher(const BlowfishState& state, uint32_t& left,
                      uint32_t& right);
