#include "settings/blowfish.h"

#include <cstring>
#include <utility>

namespace {
/// Rounds of the published cipher.
constexpr size_t kRounds = 16;
static_assert(kBlowfishPWords == kRounds + 2);
}  // namespace

uint32_t blowfishF(const BlowfishState& state, uint32_t x) {
  const uint32_t a = state.s[0][(x >> 24) & 0xFF];
  const uint32_t b = state.s[1][(x >> 16) & 0xFF];
  const uint32_t c = state.s[2][(x >> 8) & 0xFF];
  const uint32_t d = state.s[3][x & 0xFF];
  return ((a + b) ^ c) + d;
}

void blowfishEncipher(const BlowfishState& state, uint32_t& left,
                      uint32_t& right) {
  uint32_t l = left;
  uint32_t r = right;
  for (size_t i = 0; i < kRounds; ++i) {
    l ^= state.p[i];
    r ^= blowfishF(state, l);
    std::swap(l, r);
  }
  std::swap(l, r);  // the last round does not exchange
  r ^= state.p[kRounds];
  l ^= state.p[kRounds + 1];
  left = l;
  right = r;
}

void blowfishDecipher(const BlowfishState& state, uint32_t& left,
                      uint32_t& right) {
  uint32_t l = left;
  uint32_t r = right;
  for (size_t i = kRounds + 1; i > 1; --i) {
    l ^= state.p[i];
    r ^= blowfishF(state, l);
    std::swap(l, r);
  }
  std::swap(l, r);
  r ^= state.p[1];
  l ^= state.p[0];
  left = l;
  right = r;
}

void blowfishInit(BlowfishState& state, const unsigned char* key,
                  size_t keyLength) {
  std::memcpy(state.p, kBlowfishInitialP, sizeof state.p);
  std::memcpy(state.s, kBlowfishInitialS, sizeof state.s);

  // Without key bytes there is nothing to cycle through; the schedule below
  // still turns the tables into a (key-less) state.
  if (key != nullptr && keyLength > 0) {
    size_t k = 0;
    for (uint32_t& word : state.p) {
      uint32_t packed = 0;
      for (int b = 0; b < 4; ++b) {
        packed = (packed << 8) | key[k];
        k = (k + 1) % keyLength;
      }
      word ^= packed;
    }
  }

  uint32_t left = 0;
  uint32_t right = 0;
  for (size_t i = 0; i < kBlowfishPWords; i += 2) {
    blowfishEncipher(state, left, right);
    state.p[i] = left;
    state.p[i + 1] = right;
  }
  for (auto& box : state.s) {
    for (size_t i = 0; i < kBlowfishSWords; i += 2) {
      blowfishEncipher(state, left, right);
      box[i] = left;
      box[i + 1] = right;
    }
  }
}
