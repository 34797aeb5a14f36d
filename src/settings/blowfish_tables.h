#pragma once
// Blowfish's initial tables: the hexadecimal digits of the fractional part of
// pi, eight to a word. blowfish_tables.cpp is generated from pi itself by
// scripts/gen-blowfish-tables.py; a test checks that it still is.

#include <cstddef>
#include <cstdint>

/// Words of the P-array (the 16 rounds' subkeys and two output whiteners).
inline constexpr size_t kBlowfishPWords = 18;
/// Number of S-boxes.
inline constexpr size_t kBlowfishSBoxes = 4;
/// Words of one S-box, one for each byte value.
inline constexpr size_t kBlowfishSWords = 256;

/// The first 18 words of pi's fraction.
extern const uint32_t kBlowfishInitialP[kBlowfishPWords];
/// The next 1024 words, S0 to S3.
extern const uint32_t kBlowfishInitialS[kBlowfishSBoxes][kBlowfishSWords];
