#include "guest/block_decode.h"

#include <bit>
#include <cstring>

#include "guest/byte_order.h"

namespace mivo {
namespace {

// The 48-bit index field of a BC4 block.
inline uint64_t Load48(const uint8_t* p) { return uint64_t(LoadLe16(p)) | uint64_t(LoadLe32(p + 2)) << 16; }

// x / 3 for x <= 766 (the largest weighted sum of two bytes plus one).
inline uint32_t DivBy3(uint32_t x) { return (x * 21846) >> 16; }
// (x + 3) / 7 and (x + 2) / 5 for the weighted sums of BC4 endpoints.
inline uint8_t RoundDiv7(uint32_t x) { return uint8_t(((x + 3) * 9363) >> 16); }
inline uint8_t RoundDiv5(uint32_t x) { return uint8_t(((x + 2) * 13108) >> 16); }

// Four RGBA colours of a BC1 colour half.
void Bc1Palette(const uint8_t* block, bool four_colour_only, uint8_t palette[4][4]) {
  const uint32_t c0 = LoadLe16(block);
  const uint32_t c1 = LoadLe16(block + 2);
  const uint32_t r0 = c0 >> 11, g0 = (c0 >> 5) & 63, b0 = c0 & 31;
  const uint32_t r1 = c1 >> 11, g1 = (c1 >> 5) & 63, b1 = c1 & 31;
  const uint32_t a[3] = {(r0 << 3) | (r0 >> 2), (g0 << 2) | (g0 >> 4), (b0 << 3) | (b0 >> 2)};
  const uint32_t b[3] = {(r1 << 3) | (r1 >> 2), (g1 << 2) | (g1 >> 4), (b1 << 3) | (b1 >> 2)};
  if (c0 > c1 || four_colour_only) {
    for (int ch = 0; ch < 3; ++ch) {
      palette[0][ch] = uint8_t(a[ch]);
      palette[1][ch] = uint8_t(b[ch]);
      palette[2][ch] = uint8_t(DivBy3(2 * a[ch] + b[ch] + 1));
      palette[3][ch] = uint8_t(DivBy3(a[ch] + 2 * b[ch] + 1));
    }
    palette[3][3] = 255;
  } else {
    for (int ch = 0; ch < 3; ++ch) {
      palette[0][ch] = uint8_t(a[ch]);
      palette[1][ch] = uint8_t(b[ch]);
      palette[2][ch] = uint8_t((a[ch] + b[ch] + 1) >> 1);
      palette[3][ch] = 0;
    }
    palette[3][3] = 0;  // transparent black
  }
  palette[0][3] = palette[1][3] = palette[2][3] = 255;
}

void Bc4Palette(const uint8_t* block, uint8_t p[8]) {
  const uint32_t a0 = block[0], a1 = block[1];
  p[0] = uint8_t(a0);
  p[1] = uint8_t(a1);
  if (a0 > a1) {
    p[2] = RoundDiv7(6 * a0 + a1);
    p[3] = RoundDiv7(5 * a0 + 2 * a1);
    p[4] = RoundDiv7(4 * a0 + 3 * a1);
    p[5] = RoundDiv7(3 * a0 + 4 * a1);
    p[6] = RoundDiv7(2 * a0 + 5 * a1);
    p[7] = RoundDiv7(a0 + 6 * a1);
  } else {
    p[2] = RoundDiv5(4 * a0 + a1);
    p[3] = RoundDiv5(3 * a0 + 2 * a1);
    p[4] = RoundDiv5(2 * a0 + 3 * a1);
    p[5] = RoundDiv5(a0 + 4 * a1);
    p[6] = 0;
    p[7] = 255;
  }
}

// n / d rounded half away from zero. For d = 5 and 7 no quotient of integers
// lies exactly halfway, so this equals lround(double(n) / d) without the call.
inline int8_t SignedRoundDiv(int32_t n, int32_t d) {
  const int32_t q = n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d);
  return int8_t(q);
}

void Bc4SnormPalette(const uint8_t* block, int8_t p[8]) {
  const int32_t raw0 = int8_t(block[0]), raw1 = int8_t(block[1]);
  const int32_t e0 = raw0 < -127 ? -127 : raw0;
  const int32_t e1 = raw1 < -127 ? -127 : raw1;
  p[0] = int8_t(e0);
  p[1] = int8_t(e1);
  if (raw0 > raw1) {  // the mode follows the raw bytes, before clamping
    p[2] = SignedRoundDiv(6 * e0 + e1, 7);
    p[3] = SignedRoundDiv(5 * e0 + 2 * e1, 7);
    p[4] = SignedRoundDiv(4 * e0 + 3 * e1, 7);
    p[5] = SignedRoundDiv(3 * e0 + 4 * e1, 7);
    p[6] = SignedRoundDiv(2 * e0 + 5 * e1, 7);
    p[7] = SignedRoundDiv(e0 + 6 * e1, 7);
  } else {
    p[2] = SignedRoundDiv(4 * e0 + e1, 5);
    p[3] = SignedRoundDiv(3 * e0 + 2 * e1, 5);
    p[4] = SignedRoundDiv(2 * e0 + 3 * e1, 5);
    p[5] = SignedRoundDiv(e0 + 4 * e1, 5);
    p[6] = -127;
    p[7] = 127;
  }
}

// Writes palette entries chosen by 3-bit indices to every `stride`-th byte.
template <typename T>
inline void Bc4Scatter(const uint8_t* block, const T palette[8], T* out, int stride) {
  const uint64_t bits = Load48(block + 2);
  for (int i = 0; i < 16; ++i) out[i * stride] = palette[(bits >> (3 * i)) & 7];
}

}  // namespace

void DecodeBc1Block(const uint8_t* block, bool four_colour_only, uint8_t* out) {
  uint8_t palette[4][4];
  Bc1Palette(block, four_colour_only, palette);
  const uint32_t indices = LoadLe32(block + 4);
  for (int i = 0; i < 16; ++i) std::memcpy(out + 4 * i, palette[(indices >> (2 * i)) & 3], 4);
}

void DecodeBc2Block(const uint8_t* block, uint8_t* out) {
  DecodeBc1Block(block + 8, true, out);
  for (int k = 0; k < 8; ++k) {
    out[8 * k + 3] = uint8_t((block[k] & 15) * 17);
    out[8 * k + 7] = uint8_t((block[k] >> 4) * 17);
  }
}

void DecodeBc3Block(const uint8_t* block, uint8_t* out) {
  DecodeBc1Block(block + 8, true, out);
  uint8_t alpha[8];
  Bc4Palette(block, alpha);
  Bc4Scatter(block, alpha, out + 3, 4);
}

void DecodeBc4Block(const uint8_t* block, uint8_t* out) {
  uint8_t palette[8];
  Bc4Palette(block, palette);
  Bc4Scatter(block, palette, out, 1);
}

void DecodeBc4SnormBlock(const uint8_t* block, int8_t* out) {
  int8_t palette[8];
  Bc4SnormPalette(block, palette);
  Bc4Scatter(block, palette, out, 1);
}

void DecodeBc5Block(const uint8_t* block, uint8_t* out) {
  uint8_t red[8], green[8];
  Bc4Palette(block, red);
  Bc4Palette(block + 8, green);
  Bc4Scatter(block, red, out, 2);
  Bc4Scatter(block + 8, green, out + 1, 2);
}

void DecodeBc5SnormBlock(const uint8_t* block, int8_t* out) {
  int8_t red[8], green[8];
  Bc4SnormPalette(block, red);
  Bc4SnormPalette(block + 8, green);
  Bc4Scatter(block, red, out, 2);
  Bc4Scatter(block + 8, green, out + 1, 2);
}

float HalfToFloat(uint16_t half) {
  const uint32_t sign = uint32_t(half & 0x8000) << 16;
  const uint32_t exponent = (half >> 10) & 31;
  const uint32_t mantissa = half & 0x3FF;
  uint32_t bits;
  if (exponent == 31) {
    bits = sign | 0x7F800000 | mantissa << 13;
  } else if (exponent != 0) {
    bits = sign | (exponent + 112) << 23 | mantissa << 13;
  } else if (mantissa == 0) {
    bits = sign;
  } else {
    // mantissa x 2^-24 with its top set bit k becoming the implicit one.
    const int k = 31 - std::countl_zero(mantissa);
    bits = sign | uint32_t(k + 103) << 23 | ((mantissa << (23 - k)) & 0x7FFFFF);
  }
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

uint16_t FloatToHalf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  const uint16_t sign = uint16_t((bits >> 16) & 0x8000);
  const uint32_t magnitude = bits & 0x7FFFFFFF;
  if (magnitude > 0x7F800000) return sign | 0x7E00;   // NaN
  if (magnitude >= 0x477FF000) return sign | 0x7C00;  // 65520 and up round to infinity
  if (magnitude >= 0x38800000) {                      // a normal half
    const uint32_t h = (magnitude >> 13) - (112u << 10);
    // Round up when the dropped bits exceed half, or equal it on an odd h;
    // branch-free because the dropped bits are noise. A carry into the
    // exponent is correct.
    const uint32_t rest = magnitude & 0x1FFF;
    return uint16_t(sign | (h + ((rest + (h & 1) + 0xFFF) >> 13)));
  }
  // Half denormal (or zero): the value in units of 2^-24, rounded to even.
  const uint32_t exponent = magnitude >> 23;
  if (exponent < 102) return sign;  // below 2^-25
  const uint32_t full = (magnitude & 0x7FFFFF) | 0x800000;
  const uint32_t shift = 126 - exponent;  // 14..24
  const uint32_t h = full >> shift;
  const uint32_t rest = full & ((1u << shift) - 1);
  const uint32_t halfway = 1u << (shift - 1);
  return uint16_t(sign | (h + ((rest + (h & 1) + halfway - 1) >> shift)));
}

}  // namespace mivo
