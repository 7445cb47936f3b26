// The BC7 encoder: what it writes decodes in Pillow as in ours to the error
// it measured, solid colours are exact, and each mode family wins the block
// that needs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "guest/bc7_decode.h"
#include "guest/bc7_encode.h"
#include "support/pillow_bc7.h"

namespace mivo {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr EncodeQuality kQualities[] = {EncodeQuality::fast, EncodeQuality::normal, EncodeQuality::slow};

int Clamp(int v) { return std::clamp(v, 0, 255); }

// 16 texels from f(x, y, channel).
Bytes MakeBlock(const std::function<int(int, int, int)>& f) {
  Bytes texels(64);
  for (int i = 0; i < 16; ++i)
    for (int c = 0; c < 4; ++c) texels[size_t(4 * i + c)] = uint8_t(Clamp(f(i % 4, i / 4, c)));
  return texels;
}

int Mode(const uint8_t* block) {
  int mode = 0;
  while (mode < 8 && !(block[0] >> mode & 1)) ++mode;
  return mode;
}

// Random blocks of the kinds the modes are for: noise, gradients, hard
// edges, alpha against colour, few colours.
std::vector<Bytes> SampleBlocks(int count) {
  std::mt19937 rng(25);
  std::vector<Bytes> blocks;
  for (int n = 0; n < count; ++n) {
    const int kind = n % 5;
    int a[4], b[4];
    for (int c = 0; c < 4; ++c) a[c] = int(rng() % 256), b[c] = int(rng() % 256);
    const int edge = int(rng() % 4), opaque = n % 3 != 0;
    blocks.push_back(MakeBlock([&](int x, int y, int c) {
      if (c == 3 && opaque && kind != 3) return 255;
      switch (kind) {
        case 0: return int(rng() % 256);
        case 1: return a[c] + (b[c] - a[c]) * (x + y) / 6;
        case 2: return x + y > edge + 1 ? a[c] + x * 5 : b[c] - y * 7;
        case 3: return c == 3 ? a[3] + (b[3] - a[3]) * y / 3 : a[c] + (b[c] - a[c]) * x / 3;
        default: return ((x * 3 + y) % 3 == 0 ? a[c] : b[c]) + int(rng() % 5);
      }
    }));
  }
  return blocks;
}

TEST(Bc7Encode, PillowDecodesEveryBlockToTheMeasuredError) {
#ifdef _WIN32
  GTEST_SKIP() << "no Pillow in the Windows build";
#endif
  const std::vector<Bytes> inputs = SampleBlocks(200);
  for (bool weighted : {false, true}) {
    for (EncodeQuality quality : kQualities) {
      const EncodeSettings settings{quality, false, weighted};
      Bytes blocks(inputs.size() * 16);
      std::vector<uint64_t> measured;
      for (size_t b = 0; b < inputs.size(); ++b)
        measured.push_back(EncodeBc7BlockMeasured(inputs[b].data(), settings, &blocks[16 * b]));
      const uint32_t wide = 20, high = uint32_t(inputs.size()) / wide;
      Bytes theirs;
      ASSERT_TRUE(test::DecodeBc7WithPillow(blocks, wide, high, theirs));
      for (uint32_t b = 0; b < wide * high; ++b) {
        uint8_t ours[64], pillow[64];
        DecodeBc7Block(&blocks[16 * b], ours);
        for (int i = 0; i < 16; ++i) std::memcpy(pillow + 4 * i, test::ImageTexel(theirs, wide, b, i), 4);
        ASSERT_EQ(Bytes(ours, ours + 64), Bytes(pillow, pillow + 64))
            << "block " << b << " mode " << Mode(&blocks[16 * b]);
        ASSERT_EQ(Bc7BlockError(inputs[b].data(), ours, weighted), measured[b])
            << "block " << b << " quality " << int(quality) << " weighted " << weighted;
      }
    }
  }
}

// A block of a real game texture (opaque, nearly flat with one bright
// texel) on which the full p-bit search once traded alpha 255 for colour.
TEST(Bc7Encode, OpaqueBlocksStayOpaqueAtEverySetting) {
  const uint8_t rgb[16][3] = {{132, 132, 117}, {135, 135, 119}, {142, 143, 127}, {167, 170, 155},
                              {130, 131, 117}, {130, 132, 116}, {132, 133, 117}, {136, 138, 124},
                              {130, 131, 117}, {131, 133, 117}, {128, 129, 116}, {131, 131, 116},
                              {130, 131, 116}, {129, 131, 116}, {130, 130, 116}, {129, 132, 117}};
  const Bytes texels = MakeBlock([&](int x, int y, int c) { return c == 3 ? 255 : rgb[4 * y + x][c]; });
  for (EncodeQuality quality : kQualities) {
    uint8_t block[16], decoded[64];
    EncodeBc7Block(texels.data(), {quality, false, false}, block);
    DecodeBc7Block(block, decoded);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(decoded[4 * i + 3], 255) << "quality " << int(quality) << " texel " << i;
  }
}

TEST(Bc7Encode, SolidColoursAreExact) {
  std::mt19937 rng(5);
  for (int n = 0; n < 300; ++n) {
    const int colour[4] = {int(rng() % 256), int(rng() % 256), int(rng() % 256), n % 2 ? 255 : int(rng() % 256)};
    const Bytes texels = MakeBlock([&](int, int, int c) { return n < 256 ? (c == 3 ? 255 : n) : colour[c]; });
    for (EncodeQuality quality : kQualities) {
      uint8_t block[16];
      EXPECT_EQ(EncodeBc7BlockMeasured(texels.data(), {quality}, block), 0u) << n << " quality " << int(quality);
    }
  }
}

// Blocks that one family of modes encodes far better than the rest: the
// normal setting must pick that family, or reach the stated error.
TEST(Bc7Encode, EachKindOfBlockGetsTheModeItNeeds) {
  struct Row {
    const char* name;
    std::function<int(int, int, int)> texel;
    std::vector<int> modes;  // any of these
    uint64_t max_error;      // summed over the block's 64 channel values
  };
  const Row rows[] = {
      {"smooth gradient", [](int x, int y, int c) { return c == 3 ? 255 : 40 + 9 * x + 6 * y + 20 * c; }, {6}, 40},
      {"two regions, each its own gradient",
       [](int x, int y, int c) {
         if (c == 3) return 255;
         return x < 2 ? 200 - 30 * y + 10 * c : 30 + 40 * y * (c == 1) + 60 * (c == 2);
       },
       {1, 3, 7},
       120},
      {"three regions, each a ramp of its own channel",
       [](int x, int y, int c) {
         const int region = y < 2 ? 0 : y == 2 ? 1 : 2;  // three-subset partition 8
         return c == 3 ? 255 : c == region ? 60 + 50 * x : 20;
       },
       {0, 2},
       1000},
      {"alpha against colour",
       [](int x, int y, int c) { return c == 3 ? 20 + 75 * y : 30 + 70 * x * (c == 0) + 50 * x * (c == 2); },
       {4, 5},
       200},
      // Colour channels of both parities (mode 6's shared p-bit misses one),
      // alpha on 2-bit interpolation levels: exact in mode 5 alone.
      {"constant colour, varying alpha",
       [](int x, int y, int c) {
         const int alpha[4] = {0, 84, 171, 255};
         return c == 3 ? alpha[(x + y) % 4] : 100 + 37 * c;
       },
       {5},
       0},
  };
  for (const Row& row : rows) {
    const Bytes texels = MakeBlock(row.texel);
    uint8_t block[16];
    const uint64_t error = EncodeBc7BlockMeasured(texels.data(), {EncodeQuality::normal}, block);
    const int mode = Mode(block);
    EXPECT_TRUE(std::find(row.modes.begin(), row.modes.end(), mode) != row.modes.end())
        << row.name << ": mode " << mode << ", error " << error;
    EXPECT_LE(error, row.max_error) << row.name << ": mode " << mode;
  }
}

}  // namespace
}  // namespace mivo
