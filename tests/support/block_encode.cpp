#include "support/block_encode.h"

#include <algorithm>

namespace mivo::test {
namespace {

uint16_t To565(const uint8_t* c) { return uint16_t((c[0] >> 3) << 11 | (c[1] >> 2) << 5 | (c[2] >> 3)); }

void From565(uint16_t v, int out[3]) {
  const int r = v >> 11, g = (v >> 5) & 63, b = v & 31;
  out[0] = (r << 3) | (r >> 2);
  out[1] = (g << 2) | (g >> 4);
  out[2] = (b << 3) | (b >> 2);
}

void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Index of the palette entry nearest to `texel` over `channels` channels.
uint32_t Nearest(const int palette[][3], uint32_t entries, const uint8_t* texel, uint32_t channels) {
  uint32_t best = 0;
  int best_distance = 1 << 30;
  for (uint32_t i = 0; i < entries; ++i) {
    int distance = 0;
    for (uint32_t ch = 0; ch < channels; ++ch) {
      const int d = palette[i][ch] - texel[ch];
      distance += d * d;
    }
    if (distance < best_distance) {
      best_distance = distance;
      best = i;
    }
  }
  return best;
}

}  // namespace

void EncodeBc1Block(const uint8_t rgba[64], uint8_t out[8]) {
  uint8_t lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
  for (int i = 0; i < 16; ++i) {
    for (int ch = 0; ch < 3; ++ch) {
      lo[ch] = std::min(lo[ch], rgba[4 * i + ch]);
      hi[ch] = std::max(hi[ch], rgba[4 * i + ch]);
    }
  }
  uint16_t c0 = To565(hi), c1 = To565(lo);
  if (c0 < c1) std::swap(c0, c1);
  PutLe16(out, c0);
  PutLe16(out + 2, c1);
  if (c0 == c1) {  // one colour: every index 0 reads it in either mode
    PutLe32(out + 4, 0);
    return;
  }
  int palette[4][3];
  From565(c0, palette[0]);
  From565(c1, palette[1]);
  for (int ch = 0; ch < 3; ++ch) {
    palette[2][ch] = (2 * palette[0][ch] + palette[1][ch] + 1) / 3;
    palette[3][ch] = (palette[0][ch] + 2 * palette[1][ch] + 1) / 3;
  }
  uint32_t indices = 0;
  for (uint32_t i = 0; i < 16; ++i) indices |= Nearest(palette, 4, rgba + 4 * i, 3) << (2 * i);
  PutLe32(out + 4, indices);
}

void EncodeBc4Block(const uint8_t values[16], uint8_t out[8]) {
  const uint8_t a0 = *std::max_element(values, values + 16), a1 = *std::min_element(values, values + 16);
  out[0] = a0;
  out[1] = a1;
  uint64_t indices = 0;
  if (a0 != a1) {
    int palette[8][3] = {{a0}, {a1}};
    for (int k = 1; k <= 6; ++k) palette[k + 1][0] = ((7 - k) * a0 + k * a1 + 3) / 7;
    for (uint32_t i = 0; i < 16; ++i) indices |= uint64_t(Nearest(palette, 8, values + i, 1)) << (3 * i);
  }
  for (int i = 0; i < 6; ++i) out[2 + i] = uint8_t(indices >> (8 * i));
}

void EncodeBc3Block(const uint8_t rgba[64], uint8_t out[16]) {
  uint8_t alpha[16];
  for (int i = 0; i < 16; ++i) alpha[i] = rgba[4 * i + 3];
  EncodeBc4Block(alpha, out);
  EncodeBc1Block(rgba, out + 8);
}

void EncodeBc5Block(const uint8_t rg[32], uint8_t out[16]) {
  uint8_t red[16], green[16];
  for (int i = 0; i < 16; ++i) {
    red[i] = rg[2 * i];
    green[i] = rg[2 * i + 1];
  }
  EncodeBc4Block(red, out);
  EncodeBc4Block(green, out + 8);
}

void EncodeCtx1Block(const uint8_t rg[32], uint8_t out[8]) {
  uint8_t lo[2] = {255, 255}, hi[2] = {0, 0};
  for (int i = 0; i < 16; ++i) {
    for (int ch = 0; ch < 2; ++ch) {
      lo[ch] = std::min(lo[ch], rg[2 * i + ch]);
      hi[ch] = std::max(hi[ch], rg[2 * i + ch]);
    }
  }
  out[0] = hi[1];
  out[1] = hi[0];
  out[2] = lo[1];
  out[3] = lo[0];
  // The decoder's palettes: endpoints, then thirds without a rounding term.
  int palette[4][3] = {{hi[0], hi[1]}, {lo[0], lo[1]}};
  for (int ch = 0; ch < 2; ++ch) {
    palette[2][ch] = (2 * palette[0][ch] + palette[1][ch]) / 3;
    palette[3][ch] = (palette[0][ch] + 2 * palette[1][ch]) / 3;
  }
  uint32_t indices = 0;
  for (uint32_t i = 0; i < 16; ++i) indices |= Nearest(palette, 4, rg + 2 * i, 2) << (2 * i);
  PutLe32(out + 4, indices);
}

}  // namespace mivo::test
