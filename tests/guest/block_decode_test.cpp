#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <vector>

#include "guest/block_decode.h"

namespace mivo {
namespace {

using Bytes = std::vector<uint8_t>;

// A BC4 block whose texel i uses palette entry i % 8.
Bytes Bc4Ramp(uint8_t a0, uint8_t a1) {
  uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) bits |= uint64_t(i % 8) << (3 * i);
  Bytes block = {a0, a1};
  for (int k = 0; k < 6; ++k) block.push_back(uint8_t(bits >> (8 * k)));
  return block;
}

template <typename T>
std::vector<int> Values(const T* p, int count) {
  return std::vector<int>(p, p + count);
}

// Every pair of endpoints against the plain division formulas.
TEST(Bc4Decode, EveryEndpointPairMatchesTheDivisionFormulas) {
  int mismatches = 0;
  for (int a0 = 0; a0 < 256; ++a0)
    for (int a1 = 0; a1 < 256; ++a1) {
      uint8_t u[16];
      int8_t s[16];
      const Bytes block = Bc4Ramp(uint8_t(a0), uint8_t(a1));
      DecodeBc4Block(block.data(), u);
      DecodeBc4SnormBlock(block.data(), s);
      int expected_u[8] = {a0, a1};
      const int r0 = int8_t(a0), r1 = int8_t(a1);
      const int e0 = std::max(r0, -127), e1 = std::max(r1, -127);
      long expected_s[8] = {e0, e1};
      if (a0 > a1) {
        for (int k = 1; k < 7; ++k) expected_u[k + 1] = ((7 - k) * a0 + k * a1 + 3) / 7;
      } else {
        for (int k = 1; k < 5; ++k) expected_u[k + 1] = ((5 - k) * a0 + k * a1 + 2) / 5;
        expected_u[6] = 0;
        expected_u[7] = 255;
      }
      if (r0 > r1) {
        for (int k = 1; k < 7; ++k) expected_s[k + 1] = std::lround(double((7 - k) * e0 + k * e1) / 7);
      } else {
        for (int k = 1; k < 5; ++k) expected_s[k + 1] = std::lround(double((5 - k) * e0 + k * e1) / 5);
        expected_s[6] = -127;
        expected_s[7] = 127;
      }
      for (int k = 0; k < 8; ++k) mismatches += (u[k] != expected_u[k]) + (s[k] != expected_s[k]);
    }
  EXPECT_EQ(mismatches, 0);
}

TEST(Bc5Decode, RedAndGreenHalvesInterleave) {
  Bytes block = Bc4Ramp(255, 0);
  const Bytes green = Bc4Ramp(0, 255);
  block.insert(block.end(), green.begin(), green.end());
  uint8_t u[32];
  int8_t s[32];
  DecodeBc5Block(block.data(), u);
  EXPECT_EQ(Values(u, 16), (std::vector<int>{255, 0, 0, 255, 219, 51, 182, 102, 146, 153, 109, 204, 73, 0, 36, 255}));
  // Raw bytes 255, 0 read as -1, 0: six values for red; green (0, -1) has eight.
  DecodeBc5SnormBlock(block.data(), s);
  EXPECT_EQ(Values(s, 16), (std::vector<int>{-1, 0, 0, -1, -1, 0, -1, 0, 0, 0, 0, -1, -127, -1, 127, -1}));
}

// --- half floats ---

// Reference binary16 value computed with exact double arithmetic.
double HalfValue(uint16_t h) {
  const int exponent = (h >> 10) & 31, mantissa = h & 0x3FF;
  const double sign = (h & 0x8000) ? -1.0 : 1.0;
  if (exponent == 0) return sign * std::ldexp(mantissa, -24);
  return sign * std::ldexp(1024 + mantissa, exponent - 25);
}

TEST(HalfFloat, EveryHalfWidensExactly) {
  int mismatches = 0;
  for (uint32_t h = 0; h < 0x10000; ++h) {
    const float f = HalfToFloat(uint16_t(h));
    const uint32_t bits = std::bit_cast<uint32_t>(f);
    const uint32_t exponent = (h >> 10) & 31;
    if (exponent == 31) {
      mismatches += bits != ((h & 0x8000u) << 16 | 0x7F800000u | (h & 0x3FFu) << 13);
    } else {
      mismatches += double(f) != HalfValue(uint16_t(h)) || std::signbit(f) != bool(h & 0x8000);
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Round to nearest even by exact double arithmetic: scale so that the half's
// last mantissa bit is the units place, then nearbyint (ties to even).
uint16_t ReferenceFloatToHalf(float f) {
  const uint16_t sign = std::signbit(f) ? 0x8000 : 0;
  if (std::isnan(f)) return sign | 0x7E00;
  const double a = std::fabs(double(f));
  if (a >= 65520.0) return sign | 0x7C00;
  if (a < std::ldexp(1.0, -14)) return uint16_t(sign | uint16_t(std::nearbyint(std::ldexp(a, 24))));
  const int e = std::ilogb(a);                             // -14..15
  const double q = std::nearbyint(std::ldexp(a, 10 - e));  // 1024..2048
  const int mantissa = int(q) - 1024;                      // 1024 carries into the exponent
  return uint16_t(sign | (((e + 15) << 10) + mantissa));
}

TEST(HalfFloat, NarrowingRoundsToNearestEvenOverEveryRoundingCase) {
  // Every combination of sign, exponent and the top 15 mantissa bits, with the
  // low byte as zero, one, exactly half of it and all ones: the rounding point
  // of every half result (normal or denormal) lies in the enumerated bits, and
  // the low byte covers the sticky patterns.
  const uint32_t lows[4] = {0x00, 0x01, 0x80, 0xFF};
  uint64_t mismatches = 0;
  for (uint32_t top = 0; top < (1u << 24); ++top)
    for (uint32_t low : lows) {
      const float f = std::bit_cast<float>(top << 8 | low);
      mismatches += FloatToHalf(f) != ReferenceFloatToHalf(f);
    }
  // And arbitrary patterns in between.
  uint32_t x = 0x12345678;
  for (int i = 0; i < 1000000; ++i) {
    x = x * 1664525u + 1013904223u;
    const float f = std::bit_cast<float>(x);
    mismatches += FloatToHalf(f) != ReferenceFloatToHalf(f);
  }
  EXPECT_EQ(mismatches, 0u);
}

}  // namespace
}  // namespace mivo
