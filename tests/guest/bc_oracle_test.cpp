// Our BC1-BC3 decoders against an independent decoder (libsquish). Squish
// truncates its interpolations where ours round, so interpolated values may
// be one higher; endpoints, the index mapping, three-colour mode, transparent
// black and explicit alpha must agree exactly.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <squish.h>
#endif

#include <algorithm>
#include <random>
#include <string>
#include <utility>

#include "guest/bc1_encode.h"
#include "guest/block_decode.h"
#include "guest/block_encode.h"

namespace mivo {
namespace {

#ifndef _WIN32

enum class Bc { k1, k2, k3 };

uint32_t Load16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

// Fills a random block; one in eight gets equal colour endpoints, and one in
// eight equal alpha endpoints, so those modes are not left to chance.
void RandomBlock(std::mt19937& rng, uint8_t* block, int size) {
  for (int i = 0; i < size; ++i) block[i] = uint8_t(rng());
  uint8_t* colour = block + size - 8;
  if (rng() % 8 == 0) colour[2] = colour[0], colour[3] = colour[1];
  if (size == 16 && rng() % 8 == 0) block[1] = block[0];
}

// Returns "" when every texel agrees, else a description of the first fault.
std::string Compare(Bc bc, const uint8_t* block) {
  uint8_t ours[64], theirs[64];
  const int flags = bc == Bc::k1 ? squish::kDxt1 : bc == Bc::k2 ? squish::kDxt3 : squish::kDxt5;
  squish::Decompress(theirs, block, flags);
  switch (bc) {
    case Bc::k1: DecodeBc1Block(block, false, ours); break;
    case Bc::k2: DecodeBc2Block(block, ours); break;
    case Bc::k3: DecodeBc3Block(block, ours); break;
  }
  const uint8_t* colour = bc == Bc::k1 ? block : block + 8;
  const bool three_colour = bc == Bc::k1 && Load16(colour) <= Load16(colour + 2);
  const uint32_t colour_indices = Load16(colour + 4) | Load16(colour + 6) << 16;
  uint64_t alpha_indices = 0;
  for (int k = 0; k < 6; ++k) alpha_indices |= uint64_t(block[2 + k]) << (8 * k);
  for (int i = 0; i < 16; ++i) {
    const uint32_t ci = (colour_indices >> (2 * i)) & 3;
    const bool colour_exact = ci < 2 || (three_colour && ci == 3);
    for (int c = 0; c < 4; ++c) {
      bool exact = colour_exact;
      if (c == 3) {
        exact = bc != Bc::k3 || [&] {
          const uint32_t ai = (alpha_indices >> (3 * i)) & 7;
          return ai < 2 || (block[0] <= block[1] && ai >= 6);
        }();
        if (bc == Bc::k1 && !colour_exact) exact = true;  // alpha of an interpolated colour is 255
      }
      const int diff = int(ours[4 * i + c]) - int(theirs[4 * i + c]);
      if (exact ? diff != 0 : (diff < 0 || diff > 1))
        return "texel " + std::to_string(i) + " channel " + std::to_string(c) + ": ours " +
               std::to_string(ours[4 * i + c]) + ", squish " + std::to_string(theirs[4 * i + c]);
    }
  }
  return "";
}

TEST(BcOracle, Bc1Bc2Bc3AgreeWithAnIndependentDecoderOverRandomBlocks) {
  for (const auto& [bc, size] : {std::pair{Bc::k1, 8}, {Bc::k2, 16}, {Bc::k3, 16}}) {
    std::mt19937 rng(size + int(bc));
    uint8_t block[16];
    for (int n = 0; n < 50000; ++n) {
      RandomBlock(rng, block, size);
      ASSERT_EQ(Compare(bc, block), "") << "BC" << int(bc) + 1 << " block " << n;
    }
  }
}

// Our encoders' blocks, read by the independent decoder: no mode or index
// that it reads otherwise (noisy, smooth and few-colour blocks at every
// setting).
TEST(BcOracle, EncodedBlocksAgreeWithAnIndependentDecoder) {
  std::mt19937 rng(9);
  for (int n = 0; n < 3000; ++n) {
    uint8_t texels[64];
    for (int i = 0; i < 64; ++i) {
      const int smooth = (i / 4) * 13 + (i % 4) * 40;
      texels[i] = uint8_t(n % 3 == 0 ? rng() : n % 3 == 1 ? smooth + rng() % 9 : rng() % 3 * 120);
    }
    for (const auto quality : {EncodeQuality::fast, EncodeQuality::normal, EncodeQuality::slow}) {
      // BC4 blocks (and BC5's halves) are read as the alpha half of BC3.
      for (const auto& [bc, format] : {std::pair{Bc::k1, HostFormat::BC1_UNORM},
                                       {Bc::k3, HostFormat::BC3_UNORM},
                                       {Bc::k3, HostFormat::BC4_UNORM},
                                       {Bc::k3, HostFormat::BC5_UNORM}}) {
        uint8_t block[16] = {};
        FindEncodeFormat(format)->encode(texels, {quality, n % 2 == 1}, block);
        ASSERT_EQ(Compare(bc, block), "") << "block " << n << " quality " << int(quality);
        if (format == HostFormat::BC5_UNORM) {
          std::fill(block, block + 8, 0);
          std::swap_ranges(block, block + 8, block + 8);
          ASSERT_EQ(Compare(bc, block), "") << "block " << n << " green, quality " << int(quality);
        }
      }
    }
  }
}

#else

TEST(BcOracle, Bc1Bc2Bc3AgreeWithAnIndependentDecoderOverRandomBlocks) {
  GTEST_SKIP() << "libsquish, the oracle, is available on Linux only";
}

#endif

}  // namespace
}  // namespace mivo
